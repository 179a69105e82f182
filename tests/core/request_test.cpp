#include "tests/support/test_support.h"

#include "core/pipeway_provider_impl.h"

#include <cstring>

using pwtest::TestDA;
using pwtest::TraceCapture;

namespace {

// An argument array of heap copies, as a request builds it, so RunDACmd may rewrite entries.
class ArgArray {
  public:
    explicit ArgArray(const std::vector<std::string>& tokens) {
        for (const std::string& token : tokens) {
            m_storage.emplace_back(token.begin(), token.end());
            m_storage.back().push_back('\0');
        }
        for (std::vector<char>& entry : m_storage) {
            m_argv.push_back(entry.data());
        }
    }
    char** argv() { return m_argv.data(); }
    std::int32_t argc() const { return static_cast<std::int32_t>(m_argv.size()); }
    std::string operator[](std::size_t i) const { return m_argv[i]; }

  private:
    std::vector<std::vector<char>> m_storage;
    std::vector<char*> m_argv;
};

class RunDACmdTest : public ::testing::Test {
  protected:
    void SetUp() override {
        pwtest::UseLibraryFolder(pwtest::DAFolder("good"));
        m_module = std::make_unique<TestDA>("lumda64");
        m_info = PipewayProviderImpl::getDAInfo("lumda64");
    }
    void TearDown() override {
        PipewayProviderImpl::CleanUpDAInfo();
        m_module.reset();
    }

    // Runs the tokens through the echo module and returns what it received, one per line.
    std::string Echo(ArgArray& args) {
        std::string answer = "previous";
        pw::core::RunDACmd(*m_info, args.argc(), args.argv(), answer);
        return answer;
    }

    std::unique_ptr<TestDA> m_module;
    DAInfo* m_info = nullptr;
};

// The answer is copied byte for byte, text beyond ASCII and "%" included, traced as it stands
// and handed back exactly once; a null answer empties the caller's and is not handed back.
TEST_F(RunDACmdTest, AnswerIsCopiedAndHandedBackExactlyOnce) {
    const std::string answer =
        "<a>50% %s %d Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC \xF0\x9F\x98\x80</a>";
    TraceCapture trace;
    m_module->Answer(answer);
    ArgArray args({"velcmd=x"});
    EXPECT_EQ(Echo(args), answer);
    EXPECT_EQ(m_module->FreeCount(), 1);
    EXPECT_EQ(m_module->BadFreeCount(), 0);
    EXPECT_EQ(m_module->Outstanding(), 0);
    EXPECT_TRUE(trace.Has("DACmd Response :" + answer + "\n")) << trace.Text();

    m_module->AnswerNull();
    EXPECT_EQ(Echo(args), "");
    EXPECT_EQ(m_module->SendCount(), 2);
    EXPECT_EQ(m_module->FreeCount(), 1);
    EXPECT_TRUE(trace.Has("DACmd Response : Empty\n"));
}

struct MangleCase {
    const char* what;
    std::vector<std::string> tokens;
    std::string received;  // what the module saw, one token per line
    int loggedLength;      // -1: no length message
};

class MangledValue : public RunDACmdTest, public ::testing::WithParamInterface<MangleCase> {};

TEST_P(MangledValue, ThirdEntryIsDecodedInPlaceOrLeftAlone) {
    const MangleCase& c = GetParam();
    TraceCapture trace;
    ArgArray args(c.tokens);
    EXPECT_EQ(Echo(args), c.received);
    if (c.tokens.size() >= 3) {  // the caller's entry is rewritten in place
        EXPECT_EQ(args[2], pwtest::Lines(c.received)[2]);
    }
    const int logged = trace.Count("Count Value exceeds Buffer/ not multiple of 3 :");
    if (c.loggedLength < 0) {
        EXPECT_EQ(logged, 0);
    } else {
        EXPECT_TRUE(trace.Has("Count Value exceeds Buffer/ not multiple of 3 :" +
                              std::to_string(c.loggedLength) + "\n"))
            << trace.Text();
    }
}

std::string Repeat(const std::string& piece, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

const std::string kMangle = "$$manglevalue=";

// The table is laid out by hand, a case to a line or two.
// clang-format off
const MangleCase kMangled[] = {
    {"Hello", {"a=1", "b=2", kMangle + "072101108108111", "d=4"}, "a=1\nb=2\nvalue=Hello\nd=4", -1},
    {"Empty", {"a=1", "b=2", kMangle}, "a=1\nb=2\nvalue=", -1},
    {"Longest", {"a", "b", kMangle + Repeat("065", 249)}, "a\nb\nvalue=" + std::string(249, 'A'),
     -1},
    {"TooLong", {"a", "b", kMangle + Repeat("065", 249) + "066"},
     "a\nb\n" + kMangle + Repeat("065", 249) + "066", 750},
    {"NotAMultipleOfThree", {"a", "b", kMangle + "07210"}, "a\nb\n" + kMangle + "07210", 5},
    {"Length748", {"a", "b", kMangle + std::string(748, '1')},
     "a\nb\n" + kMangle + std::string(748, '1'), 748},
    // 321 % 256 = 65 'A'; 999 % 256 = 231
    {"ArithmeticIsModulo256", {"a", "b", kMangle + "321999"}, "a\nb\nvalue=A\xE7", -1},
    {"DecodedZeroEndsTheValue", {"a", "b", kMangle + "072000105"}, "a\nb\nvalue=H", -1},
    {"OnlyTheThirdEntry", {kMangle + "072", kMangle + "072", "c=3", kMangle + "072"},
     kMangle + "072\n" + kMangle + "072\nc=3\n" + kMangle + "072", -1},
    {"NotWithFewerThanThreeEntries", {"a=1", kMangle + "072"}, "a=1\n" + kMangle + "072", -1},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, MangledValue, ::testing::ValuesIn(kMangled), pwtest::CaseName());

// Requests through ExecuteMethod. Until the exclusion policy authorizes, only the refusals can
// be reached; the module is never touched by them.
class ExecuteMethodTest : public RunDACmdTest {};

TEST_F(ExecuteMethodTest, InvalidOrUnauthorizedRequestReturnsItsCodeAndTouchesNoModule) {
    TraceCapture trace;
    PipewayProviderImpl invalid("HOST\\user", {});
    std::string answer = "untouched";
    PipewayMgtData::PPImplStatus status = invalid.ExecuteMethod(answer);
    EXPECT_EQ(status.code, 100);
    EXPECT_EQ(status.text, "");
    EXPECT_TRUE(trace.Has("PipewayProviderImpl::ExecuteMethod() - Invalid argument list\n"));

    PipewayProviderImpl unauthorized("HOST\\user", {"daname=lumda64", "velcmd=getobject"});
    EXPECT_EQ(unauthorized.Status(), 0);
    EXPECT_FALSE(unauthorized.IsAuthorizedRequest());
    status = unauthorized.ExecuteMethod(answer);
    EXPECT_EQ(status.code, 200);
    EXPECT_TRUE(trace.Has("PipewayProviderImpl::ExecuteMethod() - Unauthorised user\n"));
    EXPECT_EQ(answer, "untouched");
    EXPECT_EQ(m_module->SendCount(), 0);
}

}  // namespace
