#include "tests/support/test_support.h"

#include "core/lifecycle.h"
#include "core/pipeway_provider_impl.h"

#include <set>
#include <thread>

using PipewayMgtData::PPImplStatus;
using pwtest::DAFolder;
using pwtest::TestDA;
using pwtest::TraceCapture;
using pwtest::UseLibraryFolder;

namespace {

class DALoader : public ::testing::Test {
  protected:
    void SetUp() override { UseLibraryFolder(DAFolder("good")); }
    void TearDown() override { PipewayProviderImpl::CleanUpDAInfo(); }

    // The failure that getDAInfo raises for this name.
    static PPImplStatus FailureFor(const std::string& name) {
        try {
            PipewayProviderImpl::getDAInfo(name);
        } catch (const PPImplStatus& status) {
            return status;
        }
        ADD_FAILURE() << "getDAInfo(" << name << ") did not fail";
        return PPImplStatus(0);
    }
};

TEST_F(DALoader, SecondRequestReturnsTheCachedEntryWithoutLoadingAgain) {
    TraceCapture trace;
    DAInfo* first = PipewayProviderImpl::getDAInfo("tarda64");
    DAInfo* second = PipewayProviderImpl::getDAInfo("tarda64");
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->name, "tarda64");
    EXPECT_NE(first->module.get(), nullptr);
    EXPECT_NE(first->sendCmd, nullptr);
    EXPECT_NE(first->freeData, nullptr);
    EXPECT_EQ(trace.Count("LoadLibrary for tarda64 Succeeded - "), 1);
    EXPECT_EQ(trace.Count("PipewayProviderImpl::getDAInfo(tarda64) called\n"), 2);
}

TEST_F(DALoader, EntriesStayInPlaceWhileOthersAreAdded) {
    DAInfo* tarda = PipewayProviderImpl::getDAInfo("tarda64");
    const std::string names[] = {"lumda64", "rukda64", "mivda64", "pexda64", "mixda64"};
    for (const std::string& name : names) {
        PipewayProviderImpl::getDAInfo(name);
    }
    EXPECT_EQ(PipewayProviderImpl::getDAInfo("tarda64"), tarda);
    EXPECT_EQ(tarda->name, "tarda64");
}

TEST_F(DALoader, NamesDifferingInCaseAreTwoEntries) {
    DAInfo* lower = PipewayProviderImpl::getDAInfo("mixda64");
    DAInfo* upper = PipewayProviderImpl::getDAInfo("Mixda64");
    EXPECT_NE(lower, upper);
    EXPECT_EQ(lower->name, "mixda64");
    EXPECT_EQ(upper->name, "Mixda64");
    EXPECT_NE(lower->sendCmd, upper->sendCmd);  // each entry resolved its own name's exports
}

struct LoadFailureCase {
    const char* what;
    const char* variant;
    const char* name;
    const char* text;
    const char* message;
};

class DALoaderFailure : public DALoader, public ::testing::WithParamInterface<LoadFailureCase> {};

TEST_P(DALoaderFailure, Raises105WithItsTextAndCachesNothing) {
    const LoadFailureCase& c = GetParam();
    DAInfo* cached = PipewayProviderImpl::getDAInfo("lumda64");
    UseLibraryFolder(DAFolder(c.variant));
    TraceCapture trace;
    const PPImplStatus failure = FailureFor(c.name);
    EXPECT_EQ(failure.code, 105);
    EXPECT_EQ(failure.text, c.text);
    EXPECT_TRUE(trace.Has(c.message)) << trace.Text();

    // The cache is as it was: the earlier entry is untouched, and the next request for the
    // failed name starts from the beginning.
    EXPECT_EQ(PipewayProviderImpl::getDAInfo("lumda64"), cached);
    UseLibraryFolder(DAFolder("good"));
    DAInfo* loaded = PipewayProviderImpl::getDAInfo(c.name);
    EXPECT_NE(loaded->sendCmd, nullptr);
    EXPECT_NE(loaded->freeData, nullptr);
    EXPECT_EQ(trace.Count(std::string("LoadLibrary for ") + c.name + " Succeeded"),
              std::string(c.variant) == "missing" ? 1 : 2);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DALoaderFailure,
    ::testing::Values(LoadFailureCase{"LibraryMissing", "missing", "tarda64",
                                      "Unable to load the DA",
                                      "Error Loading Library tarda64: 126\n"},
                      LoadFailureCase{"SendCmdMissing", "nosend", "tarda64", "sendCmd not found",
                                      "Error resolving sendCmd: 127\n"},
                      LoadFailureCase{"FreeDataMissing", "nofree", "tarda64", "freeData not found",
                                      "Error resolving freeData: 127\n"}),
    pwtest::CaseName());

// Without a usable library folder nothing is loaded, also when the module lies in a folder of
// "PATH"; a name that reaches into another folder is not loaded either.
TEST_F(DALoader, NothingIsLoadedButFromTheLibraryFoldersFullPath) {
    const struct {
        const char* what;
        std::string folder;  // the registry value; empty: removed
        std::string name;
    } cases[] = {
        {"no value", "", "tarda64"},
        {"relative folder", "da/good", "tarda64"},
        {"name with a folder", DAFolder("good").string(), "../good/tarda64"},
        {"name of the parent", DAFolder("good").string(), ".."},
        // The loader does not check the list of valid names.
        {"name of no module", DAFolder("good").string(), "definitely-not-a-module"},
    };
    pwtest::SetSearchPath({DAFolder("good")});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        UseLibraryFolder(c.folder);
        TraceCapture trace;
        const PPImplStatus failure = FailureFor(c.name);
        EXPECT_EQ(failure.code, 105);
        EXPECT_EQ(failure.text, "Unable to load the DA");
        EXPECT_TRUE(trace.Has("Error Loading Library " + c.name + ": 126\n")) << trace.Text();
    }
}

TEST_F(DALoader, MissingLockRaises8) {
    TraceCapture trace;
    pw::core::ProcessDetach();
    const PPImplStatus failure = FailureFor("tarda64");
    PipewayProviderImpl::CleanUpDAInfo();
    pw::core::ProcessAttach();
    EXPECT_EQ(failure.code, 8);
    EXPECT_EQ(failure.text, "PwyImpl: Failed to synchronize in getDAInfo");
    EXPECT_TRUE(trace.Has("PipewayProviderImpl::getDAInfo - Failed to synchronize threads\n"));
    EXPECT_TRUE(trace.Has("PipewayProviderImpl::CleanUpDAInfo() - Failed to synchronize\n"));
}

TEST_F(DALoader, CleanUpReleasesEveryLibraryOnceAndTheNextRequestLoadsAgain) {
    const std::string names[] = {"lumda64", "tarda64", "pexda64"};
    for (const std::string& name : names) {
        PipewayProviderImpl::getDAInfo(name);
        EXPECT_TRUE(pwtest::IsModuleLoaded(name)) << name;
    }
    {
        // A reference of the test's own survives the clean-up only if the cache released
        // its reference exactly once.
        TestDA extra("lumda64");
        PipewayProviderImpl::CleanUpDAInfo();
        EXPECT_TRUE(pwtest::IsModuleLoaded("lumda64"));
        EXPECT_FALSE(pwtest::IsModuleLoaded("tarda64"));
        EXPECT_FALSE(pwtest::IsModuleLoaded("pexda64"));
    }
    EXPECT_FALSE(pwtest::IsModuleLoaded("lumda64"));

    TraceCapture trace;
    PipewayProviderImpl::CleanUpDAInfo();  // empty cache: nothing to release, nothing logged
    EXPECT_EQ(trace.Text(), "");
    for (const std::string& name : names) {
        PipewayProviderImpl::getDAInfo(name);
        EXPECT_EQ(trace.Count("LoadLibrary for " + name + " Succeeded"), 1) << name;
        EXPECT_TRUE(pwtest::IsModuleLoaded(name)) << name;
    }
}

TEST_F(DALoader, ConcurrentRequestsForOneNameLoadItOnce) {
    TraceCapture trace;
    constexpr int kThreads = 8;
    std::vector<DAInfo*> results(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back(
            [&results, t] { results[t] = PipewayProviderImpl::getDAInfo("rukda64"); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(std::set<DAInfo*>(results.begin(), results.end()).size(), 1u);
    EXPECT_EQ(trace.Count("LoadLibrary for rukda64 Succeeded"), 1);
}

}  // namespace
