#include "tests/e2e/provider_fixture.h"

#include <atomic>
#include <thread>

namespace pwtest {
namespace {

class Startup : public ProviderTest {
  protected:
    std::string PathVariable() {
        char buffer[8192] = {};
        GetEnvironmentVariableA("PATH", buffer, sizeof buffer);
        return buffer;
    }
};

TEST_F(Startup, FirstInitialisationLogsOnlyItsEndAndLaterOnesTheEnvironment) {
    ASSERT_EQ(StartProvider(), S_OK);
    // The trace log path is set after the environment: the first time, its lines are lost.
    EXPECT_EQ(Log().Messages(), std::vector<std::string>{"<-- CWMIPipewayProvider::Initialize\n"});

    pw::ComPtr<IWbemServices> second;
    ASSERT_EQ(m_host->CreateProvider(second.put()), S_OK);
    const pw::ComPtr<host::InitSink> sink(new host::InitSink);
    {
        host::ClientCall client(L"HOST\\alice", kImpersonate);
        EXPECT_EQ(m_host->Initialize(second.get(), sink.get()), S_OK);
    }
    EXPECT_EQ(sink->Statuses(), std::vector<LONG>{static_cast<LONG>(WBEM_S_INITIALIZED)});
    const TraceFile log = Log();
    EXPECT_TRUE(log.Has("CorvaneLibPath: " + DAFolder("good").string() + "\n")) << log.Text();
    EXPECT_TRUE(log.Has("EnvPath not set\n"));
}

TEST_F(Startup, MissingRegistryValueFailsWithoutTellingTheSink) {
    SetLibraryDirectory(std::nullopt);
    pw::ComPtr<IWbemServices> provider;
    ASSERT_EQ(m_host->CreateProvider(provider.put()), S_OK);
    const pw::ComPtr<host::InitSink> sink(new host::InitSink);
    {
        host::ClientCall client(L"HOST\\alice", kImpersonate);
        EXPECT_EQ(m_host->Initialize(provider.get(), sink.get()), Hr(WBEM_E_FAILED));
    }
    EXPECT_TRUE(sink->Statuses().empty());
    EXPECT_EQ(Log().Text(), "");  // the trace log path was never set
}

TEST_F(Startup, DirectoryIsAppendedOnceToPath) {
    TempDir elsewhere;
    SetSearchPath({elsewhere.path()});
    ASSERT_EQ(StartProvider(), S_OK);
    EXPECT_EQ(PathVariable(), elsewhere.path().string() + ";" + DAFolder("good").string());
}

TEST_F(Startup, ConcurrentStartsNeitherFailNorAppendTheDirectoryTwice) {
    TempDir elsewhere;
    constexpr int kObjects = 6;
    for (int round = 0; round < 20; ++round) {
        SetSearchPath({elsewhere.path()});
        std::vector<pw::ComPtr<IWbemServices>> providers(kObjects);
        std::vector<HRESULT> results(kObjects, E_FAIL);
        std::atomic<int> waiting{kObjects};
        std::vector<std::thread> threads;
        for (int i = 0; i < kObjects; ++i) {
            threads.emplace_back([&, i] {
                --waiting;
                while (waiting.load() > 0) {
                    std::this_thread::yield();
                }
                results[i] = StartAnotherProvider(providers[i]);
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        for (int i = 0; i < kObjects; ++i) {
            EXPECT_EQ(results[i], S_OK) << "round " << round << ", object " << i;
        }
        providers.clear();
        ASSERT_EQ(PathVariable(), elsewhere.path().string() + ";" + DAFolder("good").string())
            << "round " << round;
    }
}

TEST_F(Startup, DirectoryInsideALongerEntryCountsAsPresent) {
    const std::string longer = DAFolder("good").string() + "extra";
    SetEnvironmentVariableA("PATH", longer.c_str());
    ASSERT_EQ(StartProvider(), S_OK);
    EXPECT_EQ(PathVariable(), longer);
}

TEST_F(Startup, DirectoryInAnotherLetterCaseIsAppendedAgain) {
    std::string upper = DAFolder("good").string();
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    SetEnvironmentVariableA("PATH", upper.c_str());
    ASSERT_EQ(StartProvider(), S_OK);
    EXPECT_EQ(PathVariable(), upper + ";" + DAFolder("good").string());
}

TEST_F(Startup, WithoutInstallRootInitialisationSucceedsAndTracingStaysOff) {
    m_root->ReportNone();
    ASSERT_EQ(StartProvider(), S_OK);
    EXPECT_EQ(Log().Text(), "");
}

TEST_F(Startup, IdentifyLevelIsRefused) {
    pw::ComPtr<IWbemServices> provider;
    ASSERT_EQ(m_host->CreateProvider(provider.put()), S_OK);
    const pw::ComPtr<host::InitSink> sink(new host::InitSink);
    {
        host::ClientCall client(L"HOST\\alice", kIdentify);
        EXPECT_EQ(m_host->Initialize(provider.get(), sink.get()), Hr(WBEM_E_ACCESS_DENIED));
        EXPECT_FALSE(host::ClientCall::ThreadIsImpersonating());
    }
}

TEST_F(Startup, TeardownUnloadsTheModulesAndDropsTheStore) {
    ASSERT_EQ(StartProvider(), S_OK);
    {
        TestDA rights("rukda64");
        rights.Answer(MaskAnswer(4));
        CallResult result = ExecString(L"daname=lumda64 velcmd=getobject");
        EXPECT_EQ(result.resultCode, std::optional<std::wstring>(L"0"));
        EXPECT_TRUE(IsModuleLoaded("lumda64"));
    }
    StopProvider();
    EXPECT_FALSE(IsModuleLoaded("lumda64"));
    EXPECT_FALSE(IsModuleLoaded("rukda64"));

    // A new provider loads both again, and reads the exclusion file anew.
    m_root->WriteExclusionFile(
        "<AUTHEXLIST><ADMIN><COMMAND name=\"getobject\"/></ADMIN>"
        "</AUTHEXLIST>");
    ASSERT_EQ(StartProvider(), S_OK);
    TestDA rights("rukda64");
    rights.Answer(MaskAnswer(4));
    CallResult result = ExecString(L"daname=lumda64 velcmd=getobject");
    EXPECT_EQ(result.resultCode, std::optional<std::wstring>(L"200"));
}

TEST_F(Startup, LibraryCanUnloadOnlyWithoutLiveObjects) {
    EXPECT_EQ(m_host->CanUnloadNow(), S_OK);
    ASSERT_EQ(StartProvider(), S_OK);
    EXPECT_EQ(m_host->CanUnloadNow(), S_FALSE);
    StopProvider();
    EXPECT_EQ(m_host->CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace pwtest
