// What an administrator must act on reaches the event log once per condition in ten minutes,
// however many requests and provider loads meet it, with a stable ID and the strings that say
// what to fix; the happy path reports nothing, and a report that fails changes no result and
// is made again at the condition's next occurrence. On POSIX the platform's event calls write
// each event as a line of the file "PIPEWAY_EVENTLOG" names, and refuse a report made while the
// thread impersonates its client (a remote non-administrator, as every client of the host is):
// the conditions below are met as the client, and their events still arrive.
#include "tests/e2e/provider_fixture.h"

#include "host/client_call.h"
#include "host/event_file.h"

#include "pw/events.h"
#include "pw/stack_layout.h"

#if !defined(_WIN32)
#include <pw_clock.h>
#include <pw_fault.h>
#endif

#include <thread>

namespace pwtest {
namespace {

namespace fs = std::filesystem;

#if !defined(_WIN32)

using host::LoggedEvent;

class EventLog : public CommandTest {
  protected:
    void SetUp() override {
        SetEnvironmentVariableA("PIPEWAY_EVENTLOG", m_file.string().c_str());
        // The ten-minute window runs on this clock alone. Each test starts a window after the
        // one before it: the provider library may stay loaded from test to test (or a test
        // run again), and what it reported there is older than the window.
        PwStopTickCount(GetTickCount64() + pw::events::kRepeatAfterMilliseconds);
        CommandTest::SetUp();
    }
    void TearDown() override {
        CommandTest::TearDown();
        SetEnvironmentVariableA("PIPEWAY_EVENTLOG", "/dev/null");
    }

    // The events written so far.
    std::vector<LoggedEvent> Events() const {
        std::vector<LoggedEvent> events = host::ReadEvents(m_file);
        for (const LoggedEvent& event : events) {
            EXPECT_EQ(event.source, "WinPipeway");
        }
        return events;
    }

    // Each request as a client sends it, `count` times.
    void Send(const std::wstring& commandLine, int count = 3) {
        for (int i = 0; i < count; ++i) {
            ExecString(commandLine);
        }
    }

    TempDir m_dir;
    fs::path m_file = m_dir.path() / "events.txt";
};

TEST_F(EventLog, HappyPathReportsNothing) {
    Send(L"daname=lumda64 velcmd=getobject");
    EXPECT_EQ(Enumerate().hr, S_OK);
    EXPECT_TRUE(Events().empty()) << ReadFile(m_file);
}

class EventConditions;

struct Condition {
    const char* what;
    // Brings the condition about in the started provider (`test` is the fixture).
    void (*make)(EventConditions& test);
    const char* commandLine;
    int id;
    const char* type;
    // The expected strings; "{root}" and "{dir}" stand for the install root and the test
    // modules' folder.
    std::vector<std::string> strings;
};

void PrintTo(const Condition& condition, std::ostream* os) {
    *os << condition.what;
}

std::string Expand(std::string text, const fs::path& root) {
    for (const auto& [token, value] : {std::pair<std::string, std::string>{"{root}", root.string()},
                                       {"{dir}", DAFolder("good").string()}}) {
        for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token)) {
            text.replace(at, token.size(), value);
        }
    }
    return text;
}

// The loader's words for a module that is not in the folder `variant` of the test modules: the
// dynamic linker's on POSIX; on Windows the system's, in the machine's language ("{any}").
std::string NotFound(const char* variant, const char* name) {
#if defined(_WIN32)
    (void)variant;
    (void)name;
    return "{any}";
#else
    return (DAFolder(variant) / (std::string(name) + ".so")).string() +
           ": cannot open shared object file: No such file or directory";
#endif
}

// Each string is the one expected, where "{any}" stands for some text that is not empty.
void ExpectStrings(const std::vector<std::string>& strings,
                   const std::vector<std::string>& expected) {
    ASSERT_EQ(strings.size(), expected.size());
    for (std::size_t i = 0; i < strings.size(); ++i) {
        const std::size_t any = expected[i].find("{any}");
        if (any == std::string::npos) {
            EXPECT_EQ(strings[i], expected[i]);
            continue;
        }
        const std::string tail = expected[i].substr(any + 5);
        EXPECT_GT(strings[i].size(), any + tail.size()) << strings[i];
        EXPECT_EQ(strings[i].substr(0, any), expected[i].substr(0, any));
        EXPECT_TRUE(strings[i].size() >= tail.size() &&
                    strings[i].compare(strings[i].size() - tail.size(), tail.size(), tail) == 0)
            << strings[i];
    }
}

class EventConditions : public EventLog, public ::testing::WithParamInterface<Condition> {
  public:
    InstallRoot& Root() { return *m_root; }
    void DropRights() { m_rights.reset(); }
    void Request(const std::wstring& commandLine) { ExecString(commandLine); }
};

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

TEST_P(EventConditions, AreReportedOnceInTenMinutes) {
    const Condition& c = GetParam();
    c.make(*this);
    Send(Wide(c.commandLine));
    std::vector<LoggedEvent> events = Events();
    ASSERT_EQ(events.size(), 1u) << ReadFile(m_file);
    EXPECT_EQ(events[0].id, c.id);
    EXPECT_EQ(events[0].type, c.type);
    std::vector<std::string> expected;
    for (const std::string& text : c.strings) {
        expected.push_back(Expand(text, m_root->path()));
    }
    ExpectStrings(events[0].strings, expected);

    // A new provider load inside the ten minutes keeps quiet; the first occurrence after them
    // is reported again.
    const auto reload = [&] {
        StopProvider();
        SetLibraryDirectory(DAFolder("good").string());
        ASSERT_EQ(StartProvider(), S_OK);
        c.make(*this);
        Send(Wide(c.commandLine));
    };
    PwAdvanceTickCount(pw::events::kRepeatAfterMilliseconds - 1);
    ASSERT_NO_FATAL_FAILURE(reload());
    EXPECT_EQ(Events().size(), 1u) << ReadFile(m_file);
    PwAdvanceTickCount(1);
    ASSERT_NO_FATAL_FAILURE(reload());
    events = Events();
    ASSERT_EQ(events.size(), 2u) << ReadFile(m_file);
    EXPECT_EQ(events[1].id, c.id);
    ExpectStrings(events[1].strings, expected);
}

// clang-format off
const Condition kConditions[] = {
    {"PolicyUnreadable", [](EventConditions& test) { fs::remove(test.Root().ExclusionFile()); },
     "daname=lumda64 velcmd=getobject", 1001, "error",
     {"{root}/svx/pipeway/bin/authexclusion.xml", "cannot be opened"}},
    {"PolicySyntaxError",
     [](EventConditions& test) {
         test.Root().WriteExclusionFile(
             "<AUTHEXLIST><USER><COMMAND name=\"getauditlog\"/>\n"
             "<COMMAND name='getobject'/><COMMAND name=\"setobject\"/></USER></AUTHEXLIST>\n");
     },
     "daname=lumda64 velcmd=getobject", 1002, "warning",
     {"{root}/svx/pipeway/bin/authexclusion.xml", "2:16", "getobject, setobject"}},
    {"RightsModuleUnusable",
     [](EventConditions& test) {
         test.DropRights();
         SetLibraryDirectory(DAFolder("missing").string());
     },
     "daname=lumda64 velcmd=getobject", 1005, "error",
     {"rukda64", "Unable to load the DA (error 126: " + NotFound("missing", "rukda64") + ")"}},
    {"ModuleUnusable",
     [](EventConditions& test) {
         // The rights module is loaded first, from the good folder; the named one is not.
         test.Request(L"daname=lumda64 velcmd=getobject");
         SetLibraryDirectory(DAFolder("nosend").string());
     },
     "daname=pexda64 velcmd=getobject", 1006, "error",
     {"pexda64", "Unable to load the DA (error 126: " + NotFound("nosend", "pexda64") + ")"}},
    {"LibraryFolderMissing",
     [](EventConditions& test) {
         test.DropRights();
         SetLibraryDirectory(std::nullopt);
     },
     "daname=lumda64 velcmd=getobject", 1003, "error",
     {"HKLM\\SOFTWARE\\Halvern Computer Corporation\\Corvane\\Shared\\CorvaneLibPath"}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, EventConditions, ::testing::ValuesIn(kConditions), CaseName());

// No install root: start-up and every request's policy meet the same condition; one event.
TEST_F(EventLog, MissingInstallRootIsReportedOnce) {
    StopProvider();
    m_root->ReportNone();
    ASSERT_EQ(StartProvider(), S_OK);
    Send(L"daname=lumda64 velcmd=getobject");
    const std::vector<LoggedEvent> events = Events();
    ASSERT_EQ(events.size(), 1u) << ReadFile(m_file);
    EXPECT_EQ(events[0].id, 1004);
    EXPECT_EQ(events[0].strings,
              (std::vector<std::string>{(DAFolder("good") / "kordo64.so").string(),
                                        "the library cannot be loaded, or reports no install "
                                        "root"}));
}

// The event source cannot be registered, or the log refuses the event: the request ends as
// it would have, only that report is lost, and the condition's next occurrence (the next
// provider load's first read of the exclusion file) reports it.
TEST_F(EventLog, FailedReportChangesNoResultAndIsMadeAgain) {
    fs::remove(m_root->ExclusionFile());
    m_faultKinds = PW_FAULT_EVENT_LOG;
    std::size_t reported = 0;
    const auto reload = [this] {
        StopProvider();
        ASSERT_EQ(StartProvider(), S_OK);
    };
    for (const long failAt : {1L, 2L}) {
        ASSERT_NO_FATAL_FAILURE(reload());
        m_failAt = failAt;
        const CallResult result = ExecString(L"daname=lumda64 velcmd=getobject");
        m_failAt.reset();
        EXPECT_EQ(result.hr, S_OK) << failAt;
        EXPECT_EQ(result.resultCode, std::optional<std::wstring>(L"200")) << failAt;
        // Registering the source, then reporting: the one that fails is the last.
        EXPECT_EQ(m_faultPoints, failAt) << failAt;
        EXPECT_EQ(Events().size(), reported) << failAt << ReadFile(m_file);
        ASSERT_NO_FATAL_FAILURE(reload());
        ExecString(L"daname=lumda64 velcmd=getobject");
        ASSERT_EQ(Events().size(), ++reported) << failAt << ReadFile(m_file);
        EXPECT_EQ(Events().back().id, 1001);
        PwAdvanceTickCount(pw::events::kRepeatAfterMilliseconds);
    }
}

// A host that creates the provider afresh for each request, when start-up keeps failing: one
// event, not one per load.
TEST_F(EventLog, StartUpFailingOnEveryLoadIsReportedOnce) {
    StopProvider();
    SetLibraryDirectory(std::nullopt);
    for (int load = 0; load < 20; ++load) {
        EXPECT_EQ(StartProvider(), WBEM_E_FAILED) << load;
        StopProvider();
    }
    const std::vector<LoggedEvent> events = Events();
    ASSERT_EQ(events.size(), 1u) << ReadFile(m_file);
    EXPECT_EQ(events[0].id, 1003);
}

// A report is made with no lock held that a request needs: a second request, started from
// inside the report and waited for there, runs to its end. Were the report made under the
// module cache's or the store's lock, the two would wait for each other for ever, and the
// suite's time limit would end the test as failed: nothing here depends on how long a step takes.
class EventsOutsideLocks : public EventConditions {
  protected:
    static void WINAPI SecondRequest(void* context) {
        auto* test = static_cast<EventsOutsideLocks*>(context);
        std::thread second([test] {
            test->m_secondHr =
                test->ExecStringOn(test->m_provider.get(), L"daname=lumda64 velcmd=getobject").hr;
        });
        second.join();
    }
    void TearDown() override {
        PwSetEventReportHook(nullptr, nullptr);
        EventConditions::TearDown();
    }
    std::optional<HRESULT> m_secondHr;
};

TEST_P(EventsOutsideLocks, LetOtherRequestsRun) {
    const Condition& c = GetParam();
    c.make(*this);
    PwSetEventReportHook(&SecondRequest, this);
    Send(Wide(c.commandLine), 1);
    PwSetEventReportHook(nullptr, nullptr);
    EXPECT_EQ(m_secondHr, std::optional<HRESULT>(S_OK));
    EXPECT_EQ(Events().size(), 1u) << ReadFile(m_file);
}

INSTANTIATE_TEST_SUITE_P(Table, EventsOutsideLocks, ::testing::ValuesIn(kConditions), CaseName());

// The queue itself, in this program's own copy of it: a report waits for the send, its strings
// cut to their bound; a report made while impersonating is refused, and made again later.
TEST(EventQueue, ReportsWaitForTheSendWithTheirStringsCut) {
    TempDir dir;
    const fs::path file = dir.path() / "events.txt";
    SetEnvironmentVariableA("PIPEWAY_EVENTLOG", file.string().c_str());
    // A subject of its own for each run: one reported in this process stays quiet for ten
    // minutes, and the test may run again in the same process.
    static int s_run = 0;
    const std::string subject = "queue-test-module-" + std::to_string(++s_run);
    pw::events::Report(pw::events::Event::kModuleUnusable, {subject, std::string(5000, 'x')});
    EXPECT_TRUE(host::ReadEvents(file).empty());
    {
        host::ClientCall client(L"REMOTE\\bob", kImpersonate);
        ASSERT_EQ(CoImpersonateClient(), S_OK);
        pw::events::SendQueued();  // refused: the client may not write to the log
        CoRevertToSelf();
    }
    EXPECT_TRUE(host::ReadEvents(file).empty());
    pw::events::SendQueued();  // nothing waits: the refused report left with the send
    EXPECT_TRUE(host::ReadEvents(file).empty());
    pw::events::Report(pw::events::Event::kModuleUnusable, {subject, std::string(5000, 'x')});
    pw::events::SendQueued();
    const std::vector<LoggedEvent> events = host::ReadEvents(file);
    SetEnvironmentVariableA("PIPEWAY_EVENTLOG", "/dev/null");
    ASSERT_EQ(events.size(), 1u);
    ASSERT_EQ(events[0].strings.size(), 2u);
    EXPECT_EQ(events[0].strings[0], subject);
    EXPECT_EQ(events[0].strings[1], std::string(pw::events::kStringLimit, 'x'));
}

#else

// Every event ID resolves in the provider library's message table, with its insertion strings,
// as the Event Viewer formats it.
TEST(EventMessages, EveryEventHasItsMessageWithItsStrings) {
    const std::wstring library = ProviderLibraryPath().wstring();
    const pw::UniqueLibrary messages(
        LoadLibraryExW(library.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(messages) << GetLastError();
    DWORD_PTR strings[] = {reinterpret_cast<DWORD_PTR>(L"first-string"),
                           reinterpret_cast<DWORD_PTR>(L"second-string"),
                           reinterpret_cast<DWORD_PTR>(L"third-string")};
    for (const pw::events::EventInfo& info : pw::events::kEvents) {
        const pw::events::Event event = info.event;
        wchar_t* text = nullptr;
        const DWORD length =
            FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                               FORMAT_MESSAGE_ARGUMENT_ARRAY,
                           messages.get(), pw::events::MessageId(event), 0,
                           reinterpret_cast<LPWSTR>(&text), 0, reinterpret_cast<va_list*>(strings));
        const std::wstring message = text == nullptr ? std::wstring() : std::wstring(text, length);
        LocalFree(text);
        EXPECT_NE(length, 0u) << static_cast<int>(event) << ": error " << GetLastError();
        EXPECT_NE(message.find(L"first-string"), std::wstring::npos) << static_cast<int>(event);
    }
}

#endif

}  // namespace
}  // namespace pwtest
