#include "tests/authex/policy_support.h"

#include "pw/stack_files.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <filesystem>
#include <stdexcept>
#include <thread>

using pwtest::PolicyFixture;
using Tokens = std::vector<std::string>;

namespace {

const char kPolicy[] =
    "<AUTHEXLIST>"
    "<USER><COMMAND name=\"usercmd\"/>"
    "<COMMAND name=\"getchildlist\"><PARAM name=\"byobjtype=322\"/></COMMAND>"
    "<COMMAND name=\"getobject\"><PARAM name=\"velcmd=getobject\"/></COMMAND></USER>"
    "<POWERUSER><COMMAND name=\"powercmd\"/></POWERUSER>"
    "<ADMIN><COMMAND name=\"admincmd\"/></ADMIN>"
    "</AUTHEXLIST>";

class Decision : public PolicyFixture {
  protected:
    void SetUp() override {
        PolicyFixture::SetUp();
        m_store = &Load(kPolicy);
    }
    bool Allows(const std::string& command, const Tokens& tokens, std::uint32_t mask) {
        return m_store->IsAuthorized(command, tokens, mask);
    }
    const CSingletonAuthExceptionImpl* m_store = nullptr;
};

// What settled each decision: the rule, and for a refusing entry its key and role.
TEST_F(Decision, NamesTheRuleAndTheRefusingEntry) {
    using Rule = CSingletonAuthExceptionImpl::Decision::Rule;
    struct Case {
        const char* command;
        Tokens tokens;
        std::uint32_t mask;
        bool allowed;
        Rule rule;
        const char* key;
        int role;
    };
    const Case cases[] = {
        {"usercmd", {}, TRUE_ADMIN_MASK, true, Rule::kTrueAdministrator, "", 0},
        {"usercmd", {}, 8, false, Rule::kNoRole, "", 0},
        {"usercmd", {"a=1"}, 1, false, Rule::kCommandKey, "usercmd", 1},
        {"getchildlist",
         {"a=1", "__x_byobjtype=322"},
         1,
         false,
         Rule::kTokenKey,
         "getchildlistbyobjtype=322",
         1},
        {"getchildlist", {"a=1", "byobjtype=322"}, 2, true, Rule::kNoEntry, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        const CSingletonAuthExceptionImpl::Decision decision =
            m_store->Decide(c.command, c.tokens, c.mask);
        EXPECT_EQ(decision.allowed, c.allowed);
        EXPECT_EQ(decision.rule, c.rule);
        EXPECT_EQ(decision.key, c.key);
        EXPECT_EQ(decision.role, c.role);
        EXPECT_EQ(decision.allowed, Allows(c.command, c.tokens, c.mask));
    }
    const CSingletonAuthExceptionImpl::PolicyFile none =
        CSingletonAuthExceptionImpl::ReadPolicyFile("");
    EXPECT_EQ(none.store->Decide("usercmd", {}, TRUE_ADMIN_MASK).rule, Rule::kFileNotOpened);
}

struct RoleCase {
    const char* what;
    const char* command;
    std::uint32_t mask;
    bool allowed;
};

class DecisionTable : public Decision, public ::testing::WithParamInterface<RoleCase> {};

TEST_P(DecisionTable, SectionAgainstCallerRole) {
    const RoleCase& c = GetParam();
    EXPECT_EQ(Allows(c.command, {"daname=lumda64", std::string("velcmd=") + c.command}, c.mask),
              c.allowed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecisionTable,
    ::testing::Values(RoleCase{"UserEntryRefusesUser", "usercmd", 1, false},
                      RoleCase{"UserEntryAllowsPowerUser", "usercmd", 2, true},
                      RoleCase{"UserEntryAllowsAdmin", "usercmd", 4, true},
                      RoleCase{"UserEntryAllowsTrueAdmin", "usercmd", 0x40007, true},
                      RoleCase{"PowerUserEntryRefusesUser", "powercmd", 1, false},
                      RoleCase{"PowerUserEntryRefusesPowerUser", "powercmd", 2, false},
                      RoleCase{"PowerUserEntryRefusesMask3", "powercmd", 3, false},
                      RoleCase{"PowerUserEntryAllowsAdmin", "powercmd", 4, true},
                      RoleCase{"PowerUserEntryAllowsTrueAdmin", "powercmd", 0x40007, true},
                      RoleCase{"AdminEntryRefusesUser", "admincmd", 1, false},
                      RoleCase{"AdminEntryRefusesPowerUser", "admincmd", 2, false},
                      RoleCase{"AdminEntryRefusesAdmin", "admincmd", 4, false},
                      RoleCase{"AdminEntryAllowsTrueAdmin", "admincmd", 0x40007, true},
                      RoleCase{"AdminEntryRefusesMaskOneBitAway", "admincmd", 0x40006, false},
                      RoleCase{"AdminEntryRefusesHighBitAdmin", "admincmd", 0x40047, false},
                      RoleCase{"Mask3IsAPowerUser", "usercmd", 3, true},
                      RoleCase{"OtherBitsPlayNoPart", "usercmd", 0x100002, true},
                      RoleCase{"UnlistedCommandAllowsUser", "other", 1, true},
                      RoleCase{"MaskZeroRefusedEvenUnlisted", "other", 0, false},
                      RoleCase{"MaskWithoutRoleBitsRefused", "other", 0x40000, false}),
    pwtest::CaseName());

TEST_F(Decision, ParameterKeyRefusesOnlyItsToken) {
    EXPECT_FALSE(Allows("getchildlist", {"velcmd=getchildlist", "byobjtype=322"}, 1));
    EXPECT_TRUE(Allows("getchildlist", {"velcmd=getchildlist", "byobjtype=417"}, 1));
    EXPECT_TRUE(Allows("getchildlist", {"velcmd=getchildlist"}, 1));
    EXPECT_TRUE(Allows("getchildlist", {"velcmd=getchildlist", "byobjtype=322"}, 2));
}

TEST_F(Decision, MarkedTokenGivesTheSameKey) {
    EXPECT_FALSE(Allows("getchildlist", {"__07byobjtype=322"}, 1));
    // A marker cut short is not dropped: the token is looked up whole.
    EXPECT_TRUE(Allows("getchildlist", {"__b"}, 1));
}

TEST_F(Decision, KeysAreCaseSensitive) {
    EXPECT_FALSE(Allows("usercmd", {}, 1));
    EXPECT_TRUE(Allows("UserCmd", {}, 1));
    EXPECT_TRUE(Allows("getchildlist", {"BYOBJTYPE=322"}, 1));
}

TEST_F(Decision, CommandTokensAreLookedUpLikeAnyOther) {
    EXPECT_FALSE(Allows("getobject", {"daname=lumda64", "velcmd=getobject"}, 1));
    EXPECT_TRUE(Allows("getobject", {"daname=lumda64", "VelCmd=getobject"}, 1));
}

// The trace lines that carry a decision: the role taken from the mask, each key looked up, and
// the verdict.
std::vector<std::string> DecisionLines(const pwtest::TraceCapture& trace) {
    std::vector<std::string> lines;
    for (const std::string& message : trace.Messages()) {
        if (message.rfind("Received ", 0) == 0 || message.rfind(" KEY  = ", 0) == 0 ||
            message.rfind(" Returning ", 0) == 0) {
            lines.push_back(message);
        }
    }
    return lines;
}

struct TraceCase {
    const char* what;
    const char* command;
    Tokens tokens;
    std::uint32_t mask;
    bool allowed;
    std::vector<std::string> lines;  // DecisionLines
};

void PrintTo(const TraceCase& c, std::ostream* os) {
    *os << c.what;
}

class DecisionTrace : public Decision, public ::testing::WithParamInterface<TraceCase> {};

TEST_P(DecisionTrace, ShowsEachKeyLookedUpAndTheVerdict) {
    const TraceCase& c = GetParam();
    pwtest::TraceCapture trace;
    EXPECT_EQ(Allows(c.command, c.tokens, c.mask), c.allowed);
    EXPECT_EQ(DecisionLines(trace), c.lines) << trace.Text();
}

// clang-format off
const TraceCase kTraces[] = {
    {"RefusalStopsAtTheRefusingKey", "getchildlist",
     {"daname=tarda64", "byobjtype=322", "ons=Root"}, 1, false,
     {"Received USER Role = 1\n",
      " KEY  = getchildlistdaname=tarda64 -- REQ ROLE = 0 & ACTUAL ROLE = 7\n",
      " KEY  = getchildlistbyobjtype=322 -- REQ ROLE = 1 & ACTUAL ROLE = 7\n",
      " Returning FALSE -- Access Denied\n "}},
    {"GrantWritesEveryKey", "getchildlist", {"byobjtype=417"}, 4, true,
     {"Received USER Role = 4\n",
      " KEY  = getchildlistbyobjtype=417 -- REQ ROLE = 0 & ACTUAL ROLE = 4\n",
      " Returning TRUE -- Access Granted\n "}},
    // Refused by the command's own key: neither a key line nor a verdict is written.
    {"RefusalByCommandKey", "usercmd", {"velcmd=usercmd"}, 1, false, {"Received USER Role = 1\n"}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, DecisionTrace, ::testing::ValuesIn(kTraces), pwtest::CaseName());

// A key longer than every key of the table cannot match: it is looked up no further, and the
// trace line shows what the log keeps of it (a message is cut at 1,024 characters).
TEST_F(Decision, LongCommandWithManyTokensIsDecidedAndTracedAsBefore) {
    const std::string command(5000, 'g');
    const CSingletonAuthExceptionImpl& store = *m_store;
    pwtest::TraceCapture trace;
    EXPECT_TRUE(store.IsAuthorized(command, {"daname=lumda64", "velcmd=" + command, "a=1"}, 1));
    const std::string key = command + "daname=lumda64";
    EXPECT_TRUE(trace.Has(" KEY  = " + key.substr(0, 1024 - 8))) << trace.Text().substr(0, 2000);
    EXPECT_EQ(trace.Count(" KEY  = "), 3);
}

// A table key longer than what a trace line shows still matches in full.
TEST_F(PolicyFixture, KeysLongerThanATraceLineStillMatch) {
    const std::string command(3000, 'c');
    const CSingletonAuthExceptionImpl& store =
        Load("<AUTHEXLIST><USER><COMMAND name=\"" + command +
             "\"><PARAM name=\"p=" + std::string(2000, 'v') + "\"/></COMMAND></USER></AUTHEXLIST>");
    EXPECT_FALSE(store.IsAuthorized(command, {"p=" + std::string(2000, 'v')}, 1));
    EXPECT_TRUE(store.IsAuthorized(command, {"p=" + std::string(1999, 'v')}, 1));
    EXPECT_TRUE(store.IsAuthorized(command, {"p=" + std::string(2001, 'v')}, 1));
    EXPECT_TRUE(store.IsAuthorized(command, {"p=" + std::string(2000, 'v')}, 2));
}

TEST_F(Decision, TrueAdminIsGrantedBeforeAnyKey) {
    pwtest::TraceCapture trace;
    EXPECT_TRUE(Allows("admincmd", {"velcmd=admincmd"}, 0x40007));
    EXPECT_TRUE(trace.Has(" Returning TRUE (True Admin) -- Access Granted\n "));
    EXPECT_EQ(trace.Count(" KEY  = "), 0);
}

class MissingPolicy : public PolicyFixture {};

TEST_F(MissingPolicy, NoInstallRootRefusesEveryone) {
    pwtest::TraceCapture trace;
    m_root->WriteExclusionFile("<AUTHEXLIST></AUTHEXLIST>");
    m_root->ReportNone();
    const CSingletonAuthExceptionImpl& store = Rebuild();
    EXPECT_FALSE(store.IsAuthorized("anything", {}, TRUE_ADMIN_MASK));
    EXPECT_TRUE(trace.Has("Opening file \n"));
    EXPECT_TRUE(trace.Has("File open Failed \n"));
}

TEST_F(MissingPolicy, RootOnlyFileAllowsEveryRoleEverything) {
    const CSingletonAuthExceptionImpl& store = Load("<AUTHEXLIST></AUTHEXLIST>");
    for (std::uint32_t mask : {1u, 2u, 3u, 4u, 7u}) {
        EXPECT_TRUE(store.IsAuthorized("anything", {"a=b"}, mask)) << mask;
    }
    EXPECT_EQ(m_root->OutstandingRoots(), 0);  // the root string went back to its library
}

// Input that fails part-way, after the scanner has taken and the parser stored the entries of
// its first buffer.
class FailingAfter : public std::streambuf {
  public:
    explicit FailingAfter(std::string text) : m_text(std::move(text)) {
        setg(m_text.data(), m_text.data(), m_text.data() + m_text.size());
    }

  protected:
    int_type underflow() override { throw std::runtime_error("read error"); }

  private:
    std::string m_text;
};

std::string ManyEntries(int count) {
    std::string text = "<AUTHEXLIST><USER>";
    for (int i = 0; i < count; ++i) {
        text += "<COMMAND name=\"cmd" + std::to_string(i) + "\"/>\n";
    }
    return text;
}

// Nothing at the exclusion file's path, or what is not a regular file (or is too large): each
// is refused like a file that cannot be opened, at once, without reading it, and the store
// refuses everyone.
struct TrapFile {
    const char* what;
    void (*make)(const std::filesystem::path& at);
    const char* why;  // the refusal's trace line; "" when the open itself fails
};

constexpr char kOneEntry[] = "<AUTHEXLIST><USER><COMMAND name=\"a\"/></USER></AUTHEXLIST>";

const TrapFile kTrapFiles[] = {
    {"Missing", [](const std::filesystem::path&) {}, ""},
#if defined(_WIN32)
    // Windows refuses to open a folder as a file at all.
    {"Folder", [](const std::filesystem::path& at) { std::filesystem::create_directory(at); }, ""},
#else
    {"Folder", [](const std::filesystem::path& at) { std::filesystem::create_directory(at); },
     "Exclusion file refused: it is not a regular file\n"},
    // Opening a FIFO for reading would wait for a writer for ever.
    {"Fifo", [](const std::filesystem::path& at) { ASSERT_EQ(mkfifo(at.c_str(), 0600), 0); },
     "Exclusion file refused: it is not a regular file\n"},
    // A link to a device that never ends.
    {"LinkToDevZero",
     [](const std::filesystem::path& at) { std::filesystem::create_symlink("/dev/zero", at); },
     "Exclusion file refused: it is a link\n"},
    // A link to a good policy is refused too: whoever can write the folder could point it
    // anywhere.
    {"LinkToAPolicyFile",
     [](const std::filesystem::path& at) {
         pwtest::WriteFile(at.parent_path() / "real.xml", kOneEntry);
         std::filesystem::create_symlink(at.parent_path() / "real.xml", at);
     },
     "Exclusion file refused: it is a link\n"},
    // The folder on the way replaced by a link to a folder that holds a good policy.
    {"LinkedFolder",
     [](const std::filesystem::path& at) {
         const std::filesystem::path folder = at.parent_path();
         const std::filesystem::path elsewhere = folder.parent_path() / "elsewhere";
         std::filesystem::rename(folder, elsewhere);
         pwtest::WriteFile(elsewhere / at.filename(), kOneEntry);
         std::filesystem::create_directory_symlink(elsewhere, folder);
     },
     ""},
#endif
    {"HardLinkedPolicyFile",
     [](const std::filesystem::path& at) {
         pwtest::WriteFile(at.parent_path() / "real.xml", kOneEntry);
         std::filesystem::create_hard_link(at.parent_path() / "real.xml", at);
     },
     "Exclusion file refused: it has more than one link\n"},
    {"LargerThanTheLimit",
     [](const std::filesystem::path& at) {
         std::string big = "<AUTHEXLIST>";
         big.resize(pw::stack::kExclusionFileLimit + 1, ' ');
         pwtest::WriteFile(at, big);
     },
     "Exclusion file refused: it is larger than 4194304 bytes\n"},
};

class TrapPolicy : public PolicyFixture, public ::testing::WithParamInterface<TrapFile> {};

TEST_P(TrapPolicy, IsRefusedAndRefusesEveryoneEvenTheTrueAdmin) {
    GetParam().make(m_root->ExclusionFile());
    pwtest::TraceCapture trace;
    const CSingletonAuthExceptionImpl& store = Rebuild();
    EXPECT_FALSE(store.FileOpened());
    EXPECT_TRUE(store.RoleTable().empty());
    EXPECT_FALSE(store.IsAuthorized("anything", {}, TRUE_ADMIN_MASK));
    EXPECT_FALSE(store.IsAuthorized("anything", {}, 4));
    EXPECT_EQ(trace.Count(" Returning FALSE (File Open Failed) -- Access Denied\n "), 2);
    EXPECT_TRUE(trace.Has("File open Failed \n")) << trace.Text();
    if (*GetParam().why != '\0') {
        EXPECT_TRUE(trace.Has(GetParam().why)) << trace.Text();
    }
}

INSTANTIATE_TEST_SUITE_P(Table, TrapPolicy, ::testing::ValuesIn(kTrapFiles), pwtest::CaseName());

TEST(UnreadablePolicy, ReadErrorPartWayKeepsNoEntryAndRefusesEveryone) {
    FailingAfter failing(ManyEntries(400));  // well past the scanner's first buffer
    std::istream in(&failing);
    std::ostringstream errors;
    std::ostringstream output;
    const CSingletonAuthExceptionImpl::PolicyFile policy =
        CSingletonAuthExceptionImpl::ReadPolicy(in, nullptr, {&output, &errors});
    EXPECT_FALSE(policy.accepted);
    EXPECT_FALSE(policy.store->FileOpened());
    EXPECT_TRUE(policy.store->RoleTable().empty());
    EXPECT_FALSE(policy.store->IsAuthorized("cmd399", {}, 4));
    EXPECT_FALSE(policy.store->IsAuthorized("other", {}, TRUE_ADMIN_MASK));
    EXPECT_EQ(errors.str(), "input in flex scanner failed\n");
}

// Carriage returns and a 0x1A byte are bytes like any other: every exclusion after them is
// kept, on every platform.
TEST_F(MissingPolicy, CarriageReturnsAndCtrlZKeepEveryExclusion) {
    const std::string file =
        "<AUTHEXLIST>\r\n<USER>\r\n<COMMAND name=\"a\"/>\x1a\r\n"
        "<COMMAND name=\"b\"/>\r\n</USER>\r\n</AUTHEXLIST>\r\n";
    const CSingletonAuthExceptionImpl& store = Load(file);
    EXPECT_EQ(store.RoleTable(), (pwtest::RoleTable{{"a", 1}, {"b", 1}}));
    EXPECT_FALSE(store.IsAuthorized("b", {}, 1));
    // The bytes no rule takes are copied out unchanged, in order.
    EXPECT_EQ(parserOutput, "\r\n\r\n\x1a\r\n\r\n\r\n\r\n");
}

TEST(HandleTag, UnassignedKindsAreRefusedAndChangeNothing) {
    pwtest::UseLibraryFolder(pwtest::DAFolder("good"));
    pwtest::InstallRoot root;
    root.WriteExclusionFile("<AUTHEXLIST></AUTHEXLIST>");
    CSingletonAuthExceptionImpl* store = CSingletonAuthExceptionImpl::GetInstance();
    ASSERT_NE(store, nullptr);
    pwtest::TraceCapture trace;
    for (int kind : {5, 6, 7, -1, 12}) {
        EXPECT_EQ(store->HandleTag(kind, "x"), -1);
    }
    EXPECT_TRUE(store->RoleTable().empty());
    EXPECT_EQ(trace.Count("Not a valid tag\n"), 5);
    // A PARAM end without a start stores nothing; a COMMAND single with no name neither.
    EXPECT_EQ(store->HandleTag(TAG_PARAM_END, ""), 0);
    EXPECT_EQ(store->HandleTag(TAG_COMMAND_SINGLE, ""), 0);
    EXPECT_TRUE(store->RoleTable().empty());
    CSingletonAuthExceptionImpl::DestroyInstance();
}

TEST_F(PolicyFixture, ConcurrentFirstCallsBuildTheStoreOnce) {
    m_root->WriteExclusionFile(kPolicy);
    CSingletonAuthExceptionImpl::DestroyInstance();
    pwtest::TraceCapture trace;
    constexpr int kThreads = 8;
    std::vector<CSingletonAuthExceptionImpl*> seen(kThreads, nullptr);
    std::vector<std::size_t> sizes(kThreads, 0);
    std::vector<std::thread> threads;
    std::ostringstream quiet;
    CSingletonAuthExceptionImpl::DefaultSlot().streams.out = &quiet;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&seen, &sizes, t] {
            seen[t] = CSingletonAuthExceptionImpl::GetInstance();
            sizes[t] = seen[t] == nullptr ? 0 : seen[t]->RoleTable().size();
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    CSingletonAuthExceptionImpl::DefaultSlot().streams.out = nullptr;
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(seen[t], seen[0]);
        EXPECT_EQ(sizes[t], 5u);
    }
    EXPECT_EQ(trace.Count("Inside  CSingletonAuthExceptionImpl::CSingletonAuthExceptionImpl()"), 1);
}

TEST_F(PolicyFixture, DestroyedStoreReadsTheFileAgain) {
    Load("<AUTHEXLIST><USER><COMMAND name=\"a\"/></USER></AUTHEXLIST>");
    const CSingletonAuthExceptionImpl& second =
        Load("<AUTHEXLIST><ADMIN><COMMAND name=\"b\"/></ADMIN></AUTHEXLIST>");
    EXPECT_EQ(second.LookupRole("a"), 0);
    EXPECT_EQ(second.LookupRole("b"), 4);
}

}  // namespace
