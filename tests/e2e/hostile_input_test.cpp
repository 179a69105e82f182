// "CommandAndArguments" of every shape, malformed and adversarial ones above all, through the
// provider's method call: each one ends with a defined HRESULT or "ResultCode", no answer text
// is lost or left unfreed, no thread stays impersonating, the trace log stays made of whole,
// bounded entries, and the provider serves the next call as usual.
#include "tests/e2e/provider_fixture.h"

#include <limits>

#include <optional>
#include <string>
#include <vector>

namespace pwtest {
namespace {

using namespace std::string_literals;

constexpr std::size_t kMebibyte = 1024 * 1024;

const char kPolicy[] =
    "<AUTHEXLIST><ADMIN><COMMAND name=\"resetcontroller\"/>"
    "<COMMAND name=\"setobject\"><PARAM name=\"objtype=firmware\"/></COMMAND></ADMIN>"
    "</AUTHEXLIST>";

// The in-parameter of one call: a string, or an array of strings with its lower bound. An
// element without a value is a null platform string.
struct Input {
    bool array = false;
    LONG lowerBound = 0;
    std::vector<std::optional<std::wstring>> elements;
    // Of an array that is not what the variant says: as many elements of this type, all 0.
    VARTYPE otherElementType = VT_EMPTY;
};

Input String(std::wstring text) {
    return Input{false, 0, {std::move(text)}};
}

Input NullString() {
    return Input{false, 0, {std::nullopt}};
}

Input Array(std::vector<std::optional<std::wstring>> elements, LONG lowerBound = 0) {
    return Input{true, lowerBound, std::move(elements)};
}

pw::UniqueBstr Allocate(const std::optional<std::wstring>& text) {
    // With its length, so that embedded zero characters reach the provider.
    return text ? pw::UniqueBstr(text->data(), static_cast<UINT>(text->size())) : pw::UniqueBstr();
}

// The tokens with `separator` after each but the last.
std::wstring Joined(const std::vector<std::wstring>& tokens, const wchar_t* separator) {
    std::wstring text;
    for (const std::wstring& token : tokens) {
        text += text.empty() ? L"" : separator;
        text += token;
    }
    return text;
}

// The answer for a command line without a local-login token: the one validation appends comes
// last.
std::wstring Ran(std::vector<std::wstring> tokens) {
    tokens.emplace_back(L"localLogin=TRUE");
    return Joined(tokens, L"\n");  // the echoing test module's answer
}

// A well-formed command with one more token, as an array, and what the module then receives.
Input WithThird(std::wstring token) {
    return Array({L"daname=lumda64", L"velcmd=x", std::move(token)});
}

std::wstring RanWith(std::wstring token) {
    return Ran({L"daname=lumda64", L"velcmd=x", std::move(token)});
}

std::wstring Big(wchar_t fill) {
    return std::wstring(kMebibyte, fill);
}

std::wstring Repeat(const std::wstring& unit, std::size_t times) {
    std::wstring text;
    text.reserve(unit.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
        text += unit;
    }
    return text;
}

// A well-formed command line of thousands of tokens.
std::vector<std::wstring> ManyTokens() {
    std::vector<std::wstring> tokens{L"daname=lumda64", L"velcmd=x"};
    for (int i = 0; i < 5000; ++i) {
        tokens.push_back(L"t" + std::to_wstring(i) + L"=" + std::to_wstring(i));
    }
    return tokens;
}

// A certificate that holds spaces and "=", as any character may stand in one.
std::wstring Certificate() {
    return Repeat(L"k= v ", kMebibyte / 5);
}

std::wstring CertificateLength() {
    return std::to_wstring(Certificate().size());
}

std::wstring Upload(const std::wstring& length, const std::wstring& certificate,
                    const std::wstring& after = L" daname=lumda64") {
    return L"velcmd=setUploadVandryCertificate CertificateStringLength=" + length +
           L" CertificateString=" + certificate + after;
}

const std::wstring kHello = L"$$manglevalue=072101108108111";

struct HostileCase {
    const char* what;
    Input (*input)();
    const char* resultCode;    // of a completed call; nullptr: the call is refused
    const char* logged;        // a message the call must log, or nullptr
    std::wstring (*answer)();  // the expected "ReturnValue", or nullptr when not compared
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.what;
}

HostileCase Refused(const char* what, Input (*input)(), const char* logged) {
    return HostileCase{what, input, nullptr, logged, nullptr};
}

HostileCase Completed(const char* what, Input (*input)(), const char* resultCode,
                      const char* logged = nullptr, std::wstring (*answer)() = nullptr) {
    return HostileCase{what, input, resultCode, logged, answer};
}

// The answer when the module ran "daname=lumda64 velcmd=x" and nothing else.
std::wstring RanTheCommand() {
    return Ran({L"daname=lumda64", L"velcmd=x"});
}

const char kEmpty[] = "PipewayProviderImpl::ConvertStrToVec() - Empty Argument\n";
const char kEmptyName[] = "PipewayProviderImpl::ConvertStrToVec(1322) - Invalid Argument\n";
const char kBadName[] = "PipewayProviderImpl::ConvertStrToVec(1338) - Invalid Argument\n";
const char kNoEquals[] = "PipewayProviderImpl::ConvertStrToVec(1429) - Invalid Argument\n";
const char kTokenWithoutEquals[] =
    "PipewayProviderImpl::IsValidOperation() : (Syntax error) = not found\n";
const char kInvalidDAName[] =
    "PipewayProviderImpl::IsValidOperation() : (Syntax error) Invalid DA Name\n";
const char kInvalidArray[] = "Error: Invalid Array \n";
const char kUnauthorised[] = "PipewayProviderImpl::ExecuteMethod() - Unauthorised user\n";

// The table is laid out by hand, a case to a line or a few. What the tokeniser, the validation
// and the mangled-value decoding say of each small input is their own tables' to check
// (tokenize_test, validation_test, request_test); here each kind of input is driven through
// the whole call once, and sizes and shapes those tables cannot reach.
// clang-format off
std::vector<HostileCase> CharacterCases() {
    return {
        // Nothing to tokenise.
        Refused("NullString", NullString, kEmpty),
        Refused("OnlyBlanks", [] { return String(L" \t\r\n \t "); }, kEmpty),
        Refused("ThousandsOfEquals", [] { return String(std::wstring(5000, L'=')); }, kEmptyName),
        Refused("SingleBlankElement", [] { return Array({L"   "}); }, kEmpty),
        // Embedded zero characters end the text there.
        Refused("ZeroFirst", [] { return String(L"\0daname=lumda64 velcmd=x"s); }, kEmpty),
        Completed("ZeroEndsTheLine", [] { return String(L"daname=lumda64 velcmd=x\0 velcmd=y"s); },
                  "0", nullptr, RanTheCommand),
        Completed("ZeroEndsAnElement", [] { return Array({L"daname=lumda64", L"velcmd=x\0y=z"s}); },
                  "0", nullptr, RanTheCommand),
        // Wide characters that the narrow code page lacks become its default character.
        Completed("LoneHighSurrogate", [] { return String(L"daname=lumda64 velcmd=x v=\xD800"); },
                  "0", nullptr, [] { return RanWith(L"v=?"); }),
        Completed("LoneLowSurrogateAsName",
                  [] { return String(L"daname=lumda64 velcmd=x \xDC00=1"); },
                  "0", nullptr, [] { return RanWith(L"?=1"); }),
        Completed("SurrogatesInReverseOrder",
                  [] { return String(L"velcmd=\xDC00\xD800 daname=lumda64"); },
                  "0", nullptr, [] { return Ran({L"velcmd=??", L"daname=lumda64"}); }),
        Completed("SurrogateInDAName", [] { return String(L"daname=lumda64\xD800 velcmd=x"); },
                  "102", kInvalidDAName),
        Completed("NonCharacters", [] { return String(L"daname=lumda64 velcmd=\xFFFF\xFFFE"); },
                  "0"),
    };
}

std::vector<HostileCase> SizeCases() {
    return {
        Completed("ThousandsOfTokens", [] { return String(Joined(ManyTokens(), L" ")); }, "0",
                  nullptr, [] { return Ran(ManyTokens()); }),
        Completed("ThousandsOfElements",
                  [] { const auto tokens = ManyTokens(); return Array({tokens.begin(), tokens.end()}); },
                  "0", nullptr, [] { return Ran(ManyTokens()); }),
        Completed("MebibyteValue",
                  [] { return String(L"daname=lumda64 velcmd=x big=" + Big(L'a')); }, "0",
                  nullptr, [] { return RanWith(L"big=" + Big(L'a')); }),
        Completed("MebibyteElement", [] { return WithThird(L"big=" + Big(L'b')); }, "0",
                  nullptr, [] { return RanWith(L"big=" + Big(L'b')); }),
        Completed("MebibyteElementWithoutEquals", [] { return WithThird(Big(L'b')); },
                  "104", kTokenWithoutEquals),
        Completed("MebibyteName", [] { return String(Big(L'n') + L"=1 daname=lumda64 velcmd=x"); },
                  "0"),
        Completed("MebibyteOfBlanksBetweenTokens",
                  [] { return String(L"daname=lumda64" + Big(L' ') + L"velcmd=x"); },
                  "0", nullptr, RanTheCommand),
        Refused("MebibyteWithoutEquals", [] { return String(Repeat(L"ab ", kMebibyte / 3)); },
                kNoEquals),
        Completed("MebibyteDAName", [] { return String(L"daname=" + Big(L'l') + L" velcmd=x"); },
                  "102", kInvalidDAName),
    };
}

std::vector<HostileCase> ContentCases() {
    return {
        // A name that is only the "__" of a prefix.
        Refused("UnderscoresAsName", [] { return String(L"__=x"); }, kBadName),
        // Mangled values.
        Completed("MangledLettersAreNotDigits", [] { return WithThird(L"$$manglevalue=abc"); },
                  "0", nullptr, [] { return RanWith(L"value=K"); }),
        Completed("MangledThroughTheString",
                  [] { return String(L"daname=lumda64 velcmd=x " + kHello); },
                  "0", nullptr, [] { return RanWith(L"value=Hello"); }),
        // Certificates the length of which the text honours; the lengths it cannot honour are
        // the tokeniser's table's.
        Completed("CertificateOfLengthZero", [] { return String(Upload(L"0", L"")); }, "0", nullptr,
                  [] { return Ran({L"velcmd=setUploadVandryCertificate",
                                   L"CertificateStringLength=0", L"CertificateString=",
                                   L"daname=lumda64"}); }),
        Completed("CertificateOfAMebibyte",
                  [] { return String(Upload(CertificateLength(), Certificate())); }, "0", nullptr,
                  [] { return Ran({L"velcmd=setUploadVandryCertificate",
                                   L"CertificateStringLength=" + CertificateLength(),
                                   L"CertificateString=" + Certificate(), L"daname=lumda64"}); }),
        // The exclusion file's own words and markup inside a command line.
        Completed("ScannerKeywordsAsNamesAndValues",
                  [] { return String(L"AUTHEXLIST=ADMIN POWERUSER=USER daname=lumda64 "
                                     L"velcmd=COMMAND"); }, "0"),
        Completed("MarkupAsTokens",
                  [] { return Array({L"<AUTHEXLIST>=</AUTHEXLIST>", L"<COMMAND name=\"x\"/>=1",
                                     L"daname=lumda64", L"velcmd=x"}); }, "0"),
        Completed("ExcludedCommandWithBlanksAroundIt",
                  [] { return String(L"daname=lumda64 velcmd = resetcontroller PARAM=NAME"); },
                  "200", kUnauthorised),
        Completed("ExcludedParameterToken",
                  [] { return Array({L"daname=lumda64", L"velcmd=setobject",
                                     L"objtype=firmware"}); }, "200", kUnauthorised),
    };
}

std::vector<HostileCase> ArrayCases() {
    return {
        // Arrays of every shape: an element is a token, trimmed but not split; only a single
        // element from index 0 is split like the string.
        Completed("EmptyArray", [] { return Array({}); }, "100"),
        Completed("OneElementIsSplitLikeTheString", [] { return Array({L"daname=lumda64 velcmd=x"}); },
                  "0", "CWMIPipewayProvider::ExecMethodAsync : Array Input\n", RanTheCommand),
        Completed("ElementsAreTrimmedButNotSplit",
                  [] { return Array({L" daname=lumda64 ", L"velcmd=x", L"name=a b=c"}); }, "0",
                  "Pwy: CWMIPipewayProvider::ExecMethodAsync CommanAndArguments[index]=velcmd=x\n",
                  [] { return RanWith(L"name=a b=c"); }),
        Completed("NullElement",
                  [] { return Array({std::nullopt, L"daname=lumda64", L"velcmd=x"}); },
                  "104", kTokenWithoutEquals),
        Completed("ElementsOfOnlyEquals", [] { return Array({L"=", L"="}); }, "101"),
        Completed("ArrayFromLowerBoundSeven",
                  [] { return Array({L"daname=lumda64", L"velcmd=x"}, 7); },
                  "0", nullptr, RanTheCommand),
        Completed("OneElementAwayFromZeroIsNotSplit",
                  [] { return Array({L"daname=lumda64 velcmd=x"}, 5); }, "102", kInvalidDAName),
        // An upper bound of LONG_MAX ends the walk. Windows computes the end of such an array
        // in 32 bits and gives none of its elements: a defined refusal there.
#if defined(_WIN32)
        Refused("ArrayEndingAtTheLargestIndex",
                [] { return Array({L"daname=lumda64", L"velcmd=x"}, std::numeric_limits<LONG>::max() - 1); },
                kInvalidArray),
#else
        Completed("ArrayEndingAtTheLargestIndex",
                  [] { return Array({L"daname=lumda64", L"velcmd=x"}, std::numeric_limits<LONG>::max() - 1); },
                  "0", nullptr, RanTheCommand),
#endif
        Refused("ArrayOfNumbersPassedAsStrings",
                [] { return Input{true, 0, {L"", L""}, VT_I4}; }, kInvalidArray),
    };
}
// clang-format on

std::vector<HostileCase> Cases() {
    std::vector<HostileCase> cases;
    for (auto group : {CharacterCases, SizeCases, ContentCases, ArrayCases}) {
        std::vector<HostileCase> more = group();
        cases.insert(cases.end(), std::make_move_iterator(more.begin()),
                     std::make_move_iterator(more.end()));
    }
    return cases;
}

class HostileInput : public CommandTest, public ::testing::WithParamInterface<HostileCase> {
  protected:
    void SetUp() override {
        CommandTest::SetUp();
        // Read at the first call.
        m_root->WriteExclusionFile(kPolicy);
    }

    CallResult Call(const Input& input) {
        pw::UniqueVariant owner;
        VARIANT& variant = *owner.get();
        if (input.otherElementType != VT_EMPTY) {
            variant.vt = VT_ARRAY | VT_BSTR;
            variant.parray = SafeArrayCreateVector(input.otherElementType, input.lowerBound,
                                                   static_cast<ULONG>(input.elements.size()));
        } else if (input.array) {
            variant.vt = VT_ARRAY | VT_BSTR;
            variant.parray = SafeArrayCreateVector(VT_BSTR, input.lowerBound,
                                                   static_cast<ULONG>(input.elements.size()));
            for (std::size_t i = 0; i < input.elements.size(); ++i) {
                // Counted wide: the last index may be the largest a LONG holds.
                LONG index = static_cast<LONG>(input.lowerBound + static_cast<long long>(i));
                const pw::UniqueBstr text = Allocate(input.elements[i]);
                SafeArrayPutElement(variant.parray, &index, text.get());
            }
        } else {
            variant.vt = VT_BSTR;
            variant.bstrVal = Allocate(input.elements.front()).release();
        }
        return Exec(owner.get());
    }
};

TEST_P(HostileInput, EndsWithADefinedOutcome) {
    const HostileCase& c = GetParam();
    WriteFile(LogFile(), "");  // only this call's entries
    const CallResult result = Call(c.input());
    if (c.resultCode == nullptr) {
        EXPECT_EQ(result.hr, Hr(WBEM_E_INVALID_METHOD_PARAMETERS));
        EXPECT_EQ(result.objects, 0u);
        EXPECT_TRUE(result.statuses.empty());
        EXPECT_EQ(m_lumda->SendCount(), 0);
    } else {
        EXPECT_EQ(result.hr, S_OK);
        EXPECT_EQ(result.objects, 1u);
        ASSERT_EQ(result.statuses.size(), 1u);
        EXPECT_EQ(result.statuses[0].flags, static_cast<LONG>(WBEM_STATUS_COMPLETE));
        EXPECT_EQ(result.statuses[0].result, S_OK);
        const std::string code(c.resultCode);
        EXPECT_EQ(result.resultCode,
                  std::optional<std::wstring>(std::wstring(code.begin(), code.end())));
        // Only a command that ran has an answer.
        EXPECT_EQ(result.returnValue.has_value(), code == "0");
        EXPECT_EQ(m_lumda->SendCount(), code == "0" ? 1 : 0);
        if (c.answer != nullptr && result.returnValue) {
            const std::wstring expected = c.answer();
            EXPECT_TRUE(*result.returnValue == expected)
                << "answer of " << result.returnValue->size() << " characters, expected "
                << expected.size();
        }
    }
    EXPECT_EQ(m_lumda->Outstanding(), 0);

    // The log: the call's entries, each whole and cut to its bounded size, and the message
    // asked for.
    const TraceFile log = Log();
    const std::string text = log.Text();
    EXPECT_EQ(text.rfind("[Proc:", 0), 0u) << text.substr(0, 200);
    const std::vector<std::string> messages = log.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front(), "--> CWMIPipewayProvider::ExecMethodAsyn()\n");
    for (const std::string& message : messages) {
        EXPECT_LE(message.size(), 1024u) << message.substr(0, 200);
    }
    if (c.logged != nullptr) {
        EXPECT_TRUE(log.Has(c.logged)) << text.substr(0, 4000);
    }

    // The provider goes on as usual.
    WriteFile(LogFile(), "");
    const CallResult next = ExecString(L"daname=lumda64 velcmd=next");
    EXPECT_EQ(next.resultCode, std::optional<std::wstring>(L"0"));
    EXPECT_EQ(next.returnValue,
              std::optional<std::wstring>(Ran({L"daname=lumda64", L"velcmd=next"})));
    EXPECT_TRUE(
        Log().Has("Pwy: CWMIPipewayProvider::ExecMethodAsync CommanAndArguments=daname="
                  "lumda64 velcmd=next\n"));
}

INSTANTIATE_TEST_SUITE_P(Table, HostileInput, ::testing::ValuesIn(Cases()), CaseName());

}  // namespace
}  // namespace pwtest
