#include "tests/e2e/provider_fixture.h"

#include <algorithm>
#include <filesystem>

namespace pwtest {
namespace {

class ExecMethod : public CommandTest {
  protected:
    void ExpectCompleted(const CallResult& result) {
        EXPECT_EQ(result.hr, S_OK);
        EXPECT_EQ(result.objects, 1u);
        ASSERT_EQ(result.statuses.size(), 1u);
        EXPECT_EQ(result.statuses[0].flags, static_cast<LONG>(WBEM_STATUS_COMPLETE));
        EXPECT_EQ(result.statuses[0].result, S_OK);
    }
    void ExpectRefused(const CallResult& result, HRESULT expected) {
        EXPECT_EQ(result.hr, expected);
        EXPECT_EQ(result.objects, 0u);
        EXPECT_TRUE(result.statuses.empty());
    }
};

TEST_F(ExecMethod, StringInputRunsTheCommand) {
    const CallResult result = ExecString(L"  daname=lumda\tvelcmd=getobject name=My Server\r\n");
    ExpectCompleted(result);
    EXPECT_EQ(result.resultCode, std::optional<std::wstring>(L"0"));
    EXPECT_EQ(result.returnValue,
              std::optional<std::wstring>(
                  L"daname=lumda\nvelcmd=getobject\nname=My Server\nlocalLogin=TRUE"));
    const TraceFile log = Log();
    EXPECT_TRUE(log.Has("--> CWMIPipewayProvider::ExecMethodAsyn()\n"));
    EXPECT_TRUE(log.Has("Pwy: CWMIPipewayProvider::ExecMethodAsync String Input\n"));
    EXPECT_TRUE(
        log.Has("Pwy: CWMIPipewayProvider::ExecMethodAsync CommanAndArguments=daname="
                "lumda velcmd=getobject name=My Server\n"))
        << log.Text();
}

#if !defined(_WIN32)
// A name that converts to no characters at all (here an empty one; on Windows also a code page
// that refuses the conversion's flags) is no name: the rights module is never asked about it.
// Windows names the current account whatever the test asks for, so this runs on POSIX only.
TEST_F(ExecMethod, NameThatConvertsToNothingIsNoName) {
    m_clientName = L"";
    const CallResult result = ExecString(L"daname=lumda64 velcmd=x");
    EXPECT_EQ(result.hr, Hr(WBEM_E_FAILED));
    EXPECT_TRUE(result.statuses.empty());
    EXPECT_EQ(m_rights->SendCount(), 0);
    EXPECT_EQ(m_lumda->SendCount(), 0);
    EXPECT_TRUE(Log().Has("Error : Couldn't get Username from the current Thread context\n"));
}
#endif

// An exclusion file that cannot be read (here a folder in its place) ends the reading, not the
// process, and refuses the command like a missing file.
TEST_F(ExecMethod, FolderAtTheExclusionPathRefusesTheCommand) {
    std::filesystem::remove(m_root->ExclusionFile());
    std::filesystem::create_directory(m_root->ExclusionFile());
    const CallResult result = ExecString(L"daname=lumda64 velcmd=x");
    EXPECT_EQ(result.hr, S_OK);
    EXPECT_EQ(result.resultCode, std::optional<std::wstring>(L"200"));
    EXPECT_EQ(m_lumda->SendCount(), 0);
    EXPECT_TRUE(Log().Has(" Returning FALSE (File Open Failed) -- Access Denied\n "));
}

// The module's answer as the client receives it: none gives an empty "ReturnValue", text
// beyond ASCII arrives intact.
TEST_F(ExecMethod, ModuleAnswerArrivesIntact) {
    m_lumda->AnswerNull();
    CallResult result = ExecString(L"daname=lumda64 velcmd=getobject");
    ExpectCompleted(result);
    EXPECT_EQ(result.resultCode, std::optional<std::wstring>(L"0"));
    EXPECT_EQ(result.returnValue, std::optional<std::wstring>(L""));

    m_lumda->Answer(
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC \xF0\x9F\x98\x80");
    result = ExecString(L"daname=lumda64 velcmd=getobject");
    ExpectCompleted(result);
#if defined(_WIN32)
    const std::wstring expected = L"Gr\u00FC\u00DFe \u20AC \xD83D\xDE00";
#else
    const std::wstring expected = L"Gr\u00FC\u00DFe \u20AC \U0001F600";
#endif
    EXPECT_EQ(result.returnValue, std::optional<std::wstring>(expected));
}

TEST_F(ExecMethod, CommandAndRightsQueryRunUnderTheProvidersOwnIdentity) {
    m_rights.reset();  // so that the provider's own load of the rights module can be seen
    m_lumda.reset();
    const CallResult result = ExecString(L"daname=lumda64 velcmd=getobject");
    ExpectCompleted(result);
    TestDA rights("rukda64");
    TestDA lumda("lumda64");
    // Loading the rights module and reading the exclusion file ran as the client; the rights
    // query and the client's command ran as the provider itself.
    EXPECT_TRUE(rights.LoadedImpersonating());
    EXPECT_EQ(rights.ImpersonatingCalls(), 0);
    EXPECT_FALSE(lumda.LoadedImpersonating());
    EXPECT_EQ(lumda.ImpersonatingCalls(), 0);
    EXPECT_GE(m_root->RootCalls(), 2);
    EXPECT_EQ(m_root->ImpersonatingRootCalls(), m_root->RootCalls());
}

TEST_F(ExecMethod, IdentifyLevelClientIsRefused) {
    WriteFile(LogFile(), "");  // only this call's lines
    const CallResult result = ExecString(L"daname=lumda64 velcmd=x", kIdentify);
    ExpectRefused(result, Hr(WBEM_E_ACCESS_DENIED));
    EXPECT_EQ(Log().Messages(),
              (std::vector<std::string>{"--> CWMIPipewayProvider::ExecMethodAsyn()\n",
                                        "Error : Couldn't Impersonate the Client\n"}))
        << Log().Text();
}

// A call refused before any command runs, telling the sink nothing: a wrong object path or
// method, or an in-parameter of the wrong shape.
struct RefusalCase {
    const char* what;
    const WCHAR* path;
    const WCHAR* method;
    VARTYPE type;       // of the in-parameter; VT_EMPTY: left unset
    const WCHAR* text;  // of a VT_BSTR in-parameter
    HRESULT expected;
    const char* message;
};

// Cases print by name: their padding bytes are never set.
void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.what;
}

class ExecMethodRefusal : public ExecMethod, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(ExecMethodRefusal, FailsTheCallWithoutTellingTheSink) {
    const RefusalCase& c = GetParam();
    pw::UniqueVariant input;
    if (c.type == VT_BSTR) {
        host::SetStringInput(input, c.text);
    } else if (c.type == VT_I4) {
        input.get()->vt = VT_I4;
        input.get()->lVal = 5;
    } else if (c.type == (VT_ARRAY | VT_BSTR)) {
        SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
        input.get()->vt = VT_ARRAY | VT_BSTR;
        input.get()->parray = SafeArrayCreate(VT_BSTR, 2, bounds);
    }
    const CallResult result =
        Exec(c.type == VT_EMPTY ? nullptr : input.get(), kImpersonate, c.path, c.method);
    ExpectRefused(result, c.expected);
    EXPECT_TRUE(Log().Has(c.message)) << Log().Text();
    EXPECT_EQ(m_lumda->SendCount(), 0);
}

const WCHAR kCommand[] = L"daname=lumda64 velcmd=x";
constexpr HRESULT kBadParameters = Hr(WBEM_E_INVALID_METHOD_PARAMETERS);

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, ExecMethodRefusal,
    ::testing::Values(
        RefusalCase{"OtherClass", L"Win32_Process.Handle=\"1\"", nullptr, VT_BSTR, kCommand,
                    Hr(WBEM_E_NOT_FOUND), "Error : Invalid Class Name\n"},
        RefusalCase{"ClassPath", L"ZOLM_OEM_DataAccessModule", nullptr, VT_BSTR, kCommand,
                    Hr(WBEM_E_INVALID_PARAMETER), "Error: Invalid Object Path\n"},
        RefusalCase{"UndeclaredMethod", kInstancePath, L"Reboot", VT_BSTR, kCommand,
                    Hr(WBEM_E_INVALID_METHOD), "Error: Invalid Method Name\n"},
        RefusalCase{"BlankString", kInstancePath, nullptr, VT_BSTR, L"   ", kBadParameters,
                    "Error : Formatting input arguments\n"},
        RefusalCase{"OtherType", kInstancePath, nullptr, VT_I4, nullptr, kBadParameters,
                    "Unknown VT_TYPE : 3\n"},
        RefusalCase{"TwoDimensions", kInstancePath, nullptr, VT_ARRAY | VT_BSTR, nullptr,
                    kBadParameters, "Error: Invalid Array dimension\n"},
        RefusalCase{"NotSet", kInstancePath, nullptr, VT_EMPTY, nullptr, kBadParameters,
                    "Unknown VT_TYPE : 1\n"}),
    CaseName());
// clang-format on

TEST_F(ExecMethod, ClassPathFailsAfterTheTokensWereBuilt) {
    pw::UniqueVariant input;
    host::SetStringInput(input, L"daname=lumda64 velcmd=x");
    Exec(input.get(), kImpersonate, L"ZOLM_OEM_DataAccessModule");
    const std::vector<std::string> messages = Log().Messages();
    const auto tokens =
        std::find(messages.begin(), messages.end(),
                  "PipewayProviderImpl::ConvertStrToVec() - Argument is velcmd=x\n");
    const auto failure =
        std::find(messages.begin(), messages.end(), "Error: Invalid Object Path\n");
    ASSERT_NE(tokens, messages.end());
    ASSERT_NE(failure, messages.end());
    EXPECT_LT(tokens, failure);
}

TEST_F(ExecMethod, MissingInParameterObjectOrSinkIsAnInvalidParameter) {
    EXPECT_EQ(Exec(nullptr, kImpersonate, kInstancePath, nullptr, false).hr,
              Hr(WBEM_E_INVALID_PARAMETER));
    pw::UniqueVariant input;
    host::SetStringInput(input, L"daname=lumda64 velcmd=x");
    EXPECT_EQ(Exec(input.get(), kImpersonate, kInstancePath, nullptr, true, false).hr,
              Hr(WBEM_E_INVALID_PARAMETER));
    EXPECT_EQ(m_lumda->SendCount(), 0);
}

TEST_F(ExecMethod, EveryObjectIsReleased) {
    ExecString(L"daname=lumda64 velcmd=getobject");
    ExecString(L"daname=lumda64 velcmd=setobject");
    ExecArray({L"bad"});
    Enumerate();
    Lookup(kInstancePath);
    StopProvider();
    m_host.reset();
    EXPECT_EQ(host::LiveObjects(), m_liveAtStart);
}

// A command line is served up to 16 MiB of text, a string or an array's elements together; a
// longer one fails the call before any of it is cut into tokens.
class CommandLineBound : public CommandTest {
  protected:
    static constexpr std::size_t kBound = std::size_t{16} << 20;
    static std::wstring LineOf(std::size_t size) {
        std::wstring line = L"daname=lumda64 velcmd=";
        line.append(size - line.size(), L'g');
        return line;
    }
    void ExpectTooLong(const CallResult& result) {
        EXPECT_EQ(result.hr, Hr(WBEM_E_QUOTA_VIOLATION));
        EXPECT_EQ(result.objects, 0u);
        EXPECT_EQ(m_lumda->SendCount(), 0);
        EXPECT_EQ(m_rights->SendCount(), 0);
        EXPECT_TRUE(Log().Has("Error : CommandAndArguments longer than 16777216 bytes\n"));
    }
};

TEST_F(CommandLineBound, LineOfTheBoundRunsAndOneByteMoreFailsTheCall) {
    ExpectTooLong(ExecString(LineOf(kBound + 1)));
    const std::wstring half(kBound / 2, L'g');
    WriteFile(LogFile(), "");
    ExpectTooLong(ExecArray({L"daname=lumda64", L"velcmd=" + half, L"a=" + half}));
    m_lumda->Answer("<ok/>");
    EXPECT_EQ(ExecString(LineOf(kBound)).resultCode, std::optional<std::wstring>(L"0"));
    EXPECT_EQ(m_lumda->SendCount(), 1);
}

// Each element counts as its text and a separator, so empty elements are not free: two elements
// that count 999 bytes short of the bound and 1,000 empty ones are one byte over it; one empty
// element fewer is served.
TEST_F(CommandLineBound, EmptyElementsCountTowardsTheBound) {
    std::vector<std::wstring> elements{L"daname=lumda64",
                                       L"velcmd=" + std::wstring(kBound - 999 - 23, L'g')};
    elements.resize(elements.size() + 1000);
    ExpectTooLong(ExecArray(elements));
    elements.pop_back();
    m_lumda->Answer("<ok/>");
    const CallResult served = ExecArray(elements);
    EXPECT_EQ(served.hr, Hr(WBEM_S_NO_ERROR));
    EXPECT_EQ(served.objects, 1u);
}

}  // namespace
}  // namespace pwtest
