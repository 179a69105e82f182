// Many client threads on one provider object and on several, as the WMI service calls a
// provider: every call ends with exactly one final status and its own answer, modules load
// once per name, no thread stays impersonating, and the teardown of one provider object never
// pulls the DA modules or the exclusion store from under a call on another.
#include "tests/e2e/provider_fixture.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

namespace pwtest {
namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 12;

const char kAddresses[] =
    "<Obj><IPAddress>10.1.2.3</IPAddress><GLAddress>fd00::7</GLAddress>"
    "<SLAddress>fe80::7</SLAddress></Obj>";

// Starts every thread's body together, so that first uses (module loads, the store's first
// read) race.
class StartLine {
  public:
    explicit StartLine(int runners) : m_waiting(runners) {}
    void Arrive() {
        --m_waiting;
        while (m_waiting.load() > 0) {
            std::this_thread::yield();
        }
    }

  private:
    std::atomic<int> m_waiting;
};

class Concurrency : public CommandTest {
  protected:
    void SetUp() override {
        CommandTest::SetUp();
        m_tarda = std::make_unique<TestDA>("tarda64");
        m_tarda->Answer(kAddresses);
    }
    void TearDown() override {
        CommandTest::TearDown();
        m_tarda.reset();
    }

    // The call on a thread of its own, as a pool that grows hands a call to a new thread:
    // whatever the provider keeps per thread starts afresh for it. Under Wine, where a thread
    // costs tens of milliseconds, the client's thread makes the call.
    template <typename Call>
    static CallResult OnFreshThread(Call call) {
#if defined(_WIN32)
        return call();
#else
        CallResult result;
        std::thread([&] { result = call(); }).join();
        return result;
#endif
    }

    // One round of a client's calls on `provider`, each on a fresh thread: a command carrying
    // the client's own marker, an enumeration and a lookup. Counts every call that did not end
    // as it must.
    void Round(IWbemServices* provider, int client, int round, std::atomic<int>& wrong) {
        const std::wstring marker = L"m=" + std::to_wstring(client * 1000 + round);
        const CallResult exec = OnFreshThread(
            [&] { return ExecStringOn(provider, L"daname=lumda64 velcmd=x " + marker); });
        if (!EndedOnce(exec) ||
            exec.returnValue != std::optional<std::wstring>(L"daname=lumda64\nvelcmd=x\n" + marker +
                                                            L"\nlocalLogin=TRUE")) {
            ++wrong;
        }
        const CallResult listed = OnFreshThread([&] { return EnumerateOn(provider); });
        if (!EndedOnce(listed) || listed.ipv6 != std::optional<std::wstring>(L"fd00::7;fe80::7")) {
            ++wrong;
        }
        const CallResult found = OnFreshThread([&] { return LookupOn(provider, kInstancePath); });
        if (!EndedOnce(found) ||
            found.instanceId != std::optional<std::wstring>(L"ZOLM_OEM_DataAccessModule1")) {
            ++wrong;
        }
    }

    static bool EndedOnce(const CallResult& result) {
        return result.hr == S_OK && result.objects == 1 && result.statuses.size() == 1 &&
               result.statuses[0].flags == static_cast<LONG>(WBEM_STATUS_COMPLETE) &&
               result.statuses[0].result == S_OK;
    }

    std::unique_ptr<TestDA> m_tarda;
};

TEST_F(Concurrency, MixedCallsOnOneAndOnSeveralProviderObjects) {
    for (const int objects : {1, 3}) {
        SCOPED_TRACE(objects);
        // Fresh provider objects on fresh shared state: the first calls race to load each
        // module and to read the exclusion file.
        std::vector<pw::ComPtr<IWbemServices>> providers(static_cast<std::size_t>(objects));
        for (pw::ComPtr<IWbemServices>& provider : providers) {
            ASSERT_EQ(StartAnotherProvider(provider), S_OK);
        }
        WriteFile(LogFile(), "");

        std::atomic<int> wrong{0};
        StartLine start(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                start.Arrive();
                for (int round = 0; round < kRounds; ++round) {
                    Round(providers[static_cast<std::size_t>(t % objects)].get(), t, round, wrong);
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        EXPECT_EQ(wrong.load(), 0);
        const TraceFile log = Log();
        for (const char* name : {"lumda64", "tarda64", "rukda64"}) {
            EXPECT_EQ(log.Count(std::string("LoadLibrary for ") + name + " Succeeded"), 1) << name;
        }
        EXPECT_EQ(log.Count("Opening file "), 1);
        // The last release drops the shared state for the next round.
        providers.clear();
    }
    for (TestDA* module : {m_rights.get(), m_tarda.get(), m_lumda.get()}) {
        EXPECT_EQ(module->Outstanding(), 0);
        EXPECT_EQ(module->BadFreeCount(), 0);
    }
    StopProvider();
    m_host.reset();
    EXPECT_EQ(host::LiveObjects(), m_liveAtStart);
}

// A call on one provider object is inside its DA module when another provider object of the
// process is released: the modules stay until that call has left, then go.
TEST_F(Concurrency, TeardownLeavesModulesToTheCallsInFlight) {
    pw::ComPtr<IWbemServices> other;
    ASSERT_EQ(StartAnotherProvider(other), S_OK);
    m_lumda->CloseGate();
    // Shared with the client thread, which is left behind if the module is pulled from under it.
    auto held = std::make_shared<CallResult>();
    std::thread client(
        [this, held] { *held = ExecStringOn(m_provider.get(), L"daname=lumda64 velcmd=x"); });
    m_lumda->WaitForCallAtGate();
    // From here only the provider's cache holds the module.
    m_lumda.reset();

    other.reset();
    if (!IsModuleLoaded("lumda64")) {
        // The call's module is gone: it can never come back from its gate, and the provider
        // object stays with it.
        client.detach();
        m_provider.detach();
        FAIL() << "the teardown unloaded a module under a call in flight";
    }
    EXPECT_EQ(Log().Count("Opening file "), 1);

    TestDA lumda("lumda64");
    lumda.OpenGate();
    client.join();
    EXPECT_TRUE(EndedOnce(*held));
    EXPECT_EQ(held->returnValue,
              std::optional<std::wstring>(L"daname=lumda64\nvelcmd=x\nlocalLogin=TRUE"));
    EXPECT_EQ(lumda.Outstanding(), 0);

    // The deferred drop ran as the call left: the next call loads the module and reads the
    // exclusion file again.
    const CallResult next = ExecString(L"daname=lumda64 velcmd=y");
    EXPECT_TRUE(EndedOnce(next));
    EXPECT_EQ(Log().Count("LoadLibrary for lumda64 Succeeded"), 2);
    EXPECT_EQ(Log().Count("Opening file "), 2);
}

// Calls keep overlapping a release: one from before it is still inside its module when calls
// from after it start and run. The later calls get fresh shared state (they read an edited
// exclusion file again), and the state from before the release goes as soon as its own last
// call has left, while a later call still runs.
TEST_F(Concurrency, TeardownEndsWhileLaterCallsOverlapIt) {
    pw::ComPtr<IWbemServices> other;
    ASSERT_EQ(StartAnotherProvider(other), S_OK);
    m_lumda->CloseGate();
    auto early = std::make_shared<CallResult>();
    std::thread earlyClient(
        [this, early] { *early = ExecStringOn(m_provider.get(), L"daname=lumda64 velcmd=x"); });
    m_lumda->WaitForCallAtGate();
    m_lumda.reset();  // from here only the early call's shared state holds the module
    m_root->WriteExclusionFile(
        "<AUTHEXLIST><ADMIN><COMMAND name=\"edited\"/></ADMIN></AUTHEXLIST>");
    other.reset();

    const CallResult refused = ExecString(L"daname=lumda64 velcmd=edited");
    EXPECT_EQ(refused.resultCode, std::optional<std::wstring>(L"200"));
    EXPECT_EQ(Log().Count("Opening file "), 2);

    TestDA pexda("pexda64");
    pexda.CloseGate();
    auto late = std::make_shared<CallResult>();
    std::thread lateClient(
        [this, late] { *late = ExecStringOn(m_provider.get(), L"daname=pexda64 velcmd=y"); });
    pexda.WaitForCallAtGate();

    auto lumda = std::make_unique<TestDA>("lumda64");
    lumda->OpenGate();
    earlyClient.join();
    EXPECT_TRUE(EndedOnce(*early));
    lumda.reset();
    EXPECT_FALSE(IsModuleLoaded("lumda64"))
        << "the shared state from before the release waits for a call that came after it";

    pexda.OpenGate();
    lateClient.join();
    EXPECT_TRUE(EndedOnce(*late));
    EXPECT_EQ(late->returnValue,
              std::optional<std::wstring>(L"daname=pexda64\nvelcmd=y\nlocalLogin=TRUE"));
}

// Provider objects come and go while clients call another one: each teardown drops the shared
// state at once or after the calls in flight, and no call notices.
TEST_F(Concurrency, ProviderObjectsComeAndGoWhileClientsCall) {
    std::atomic<int> wrong{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> clients;
    for (int t = 0; t < kThreads - 1; ++t) {
        clients.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                Round(m_provider.get(), t, round, wrong);
            }
        });
    }
    int torn = 0;
    // At least one provider object comes and goes, however the threads are scheduled.
    std::thread churn([&] {
        do {
            pw::ComPtr<IWbemServices> passing;
            if (StartAnotherProvider(passing) != S_OK) {
                ++wrong;
            }
            if (passing) {
                passing.reset();
                ++torn;
            }
        } while (!done.load());
    });
    for (std::thread& thread : clients) {
        thread.join();
    }
    done = true;
    churn.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(torn, 0);
    EXPECT_EQ(m_lumda->Outstanding(), 0);
    EXPECT_EQ(m_lumda->BadFreeCount(), 0);
    EXPECT_EQ(m_tarda->Outstanding(), 0);
}

// Switches tracing off and on as an administrator does it, up to `switches` times or until
// `done`: the file is moved away and created again. Returns the files moved away.
std::vector<std::filesystem::path> SwitchTracing(const std::filesystem::path& log, int switches,
                                                 const std::atomic<bool>& done) {
    namespace fs = std::filesystem;
    std::vector<fs::path> moved;
    // The first switch waits for a first entry, so that at least one file has some.
    while (!done.load() && fs::file_size(log) == 0) {
        std::this_thread::yield();
    }
    for (int i = 0; i < switches && !done.load(); ++i) {
        const fs::path off = log.parent_path() / ("off" + std::to_string(i) + ".log");
        // Windows moves no file that a logger holds open: try again once it has let go.
        std::error_code error;
        for (fs::rename(log, off, error); error; fs::rename(log, off, error)) {
            std::this_thread::yield();
        }
        moved.push_back(off);
        std::this_thread::yield();
        // Created, never truncated: a logger that found the file gone may have made it
        // already, and its entry stays whole.
        std::ofstream(log, std::ios::app);
    }
    return moved;
}

// The entries of all the files, each of which must hold only whole entries.
std::size_t WholeEntries(const std::vector<std::filesystem::path>& files) {
    std::size_t entries = 0;
    for (const std::filesystem::path& file : files) {
        const TraceFile log(file);
        const std::string broken = BrokenTraceEntry(log.Text());
        if (!broken.empty()) {
            ADD_FAILURE() << file << ": " << broken;
            break;
        }
        entries += log.Messages().size();
    }
    return entries;
}

// Tracing switched off and on while clients call, as an administrator does it: the file is
// moved away and created again. Every file the clients wrote to is kept, and each holds only
// whole entries.
TEST_F(Concurrency, TracingSwitchedOnAndOffWhileClientsCall) {
    constexpr int kSwitches = 200;
    std::atomic<int> wrong{0};
    std::atomic<bool> done{false};
    std::vector<std::filesystem::path> kept;
    std::thread toggler([&] { kept = SwitchTracing(LogFile(), kSwitches, done); });
    std::vector<std::thread> clients;
    for (int t = 0; t < kThreads; ++t) {
        clients.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                Round(m_provider.get(), t, round, wrong);
            }
        });
    }
    for (std::thread& thread : clients) {
        thread.join();
    }
    done = true;
    toggler.join();
    EXPECT_EQ(wrong.load(), 0);

    kept.push_back(LogFile());
    EXPECT_GT(WholeEntries(kept), 0u);
    // And a call with tracing steadily on logs its entries. The provider looks for the file once
    // per interval, and its last look may have found it moved away: a new provider load looks
    // at once.
    WriteFile(LogFile(), "");
    StopProvider();
    ASSERT_EQ(StartProvider(), S_OK);
    Round(m_provider.get(), kThreads, 0, wrong);
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(Log().Count("--> CWMIPipewayProvider::ExecMethodAsyn()"), 1);
}

}  // namespace
}  // namespace pwtest
