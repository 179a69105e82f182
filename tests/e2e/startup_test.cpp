#include "tests/e2e/provider_fixture.h"

#include <atomic>
#include <thread>
#include <utility>

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
    std::vector<LONG> statuses;
    EXPECT_EQ(StartAnotherProvider(second, &statuses), S_OK);
    EXPECT_EQ(statuses, std::vector<LONG>{static_cast<LONG>(WBEM_S_INITIALIZED)});
    const TraceFile log = Log();
    EXPECT_TRUE(log.Has("CorvaneLibPath: " + DAFolder("good").string() + "\n")) << log.Text();
    EXPECT_TRUE(log.Has("EnvPath not set\n"));
}

TEST_F(Startup, MissingRegistryValueFailsWithoutTellingTheSink) {
    SetLibraryDirectory(std::nullopt);
    std::vector<LONG> statuses;
    EXPECT_EQ(StartAnotherProvider(m_provider, &statuses), Hr(WBEM_E_FAILED));
    EXPECT_TRUE(statuses.empty());
    EXPECT_EQ(Log().Text(), "");  // the trace log path was never set
}

// The library folder is appended to "PATH" once: not when an entry holds it, again when only
// another letter case of it is there.
TEST_F(Startup, DirectoryIsAppendedToPathUnlessAnEntryHoldsIt) {
    const std::string good = DAFolder("good").string();
    const TempDir elsewhere;
    std::string upper = good;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const std::pair<std::string, std::string> cases[] = {
        {elsewhere.path().string(), elsewhere.path().string() + ";" + good},
        {good + "extra", good + "extra"},
        {upper, upper + ";" + good}};
    for (const auto& [path, expected] : cases) {
        StopProvider();  // the last release drops the shared state: the next start is a first
        SetEnvironmentVariableA("PATH", path.c_str());
        ASSERT_EQ(StartProvider(), S_OK);
        EXPECT_EQ(PathVariable(), expected);
    }
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

TEST_F(Startup, WithoutInstallRootInitialisationSucceedsAndTracingStaysOff) {
    m_root->ReportNone();
    ASSERT_EQ(StartProvider(), S_OK);
    EXPECT_EQ(Log().Text(), "");
}

TEST_F(Startup, IdentifyLevelIsRefused) {
    EXPECT_EQ(StartAnotherProvider(m_provider, nullptr, kIdentify), Hr(WBEM_E_ACCESS_DENIED));
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

}  // namespace
}  // namespace pwtest
