// Failure paths, driven one at a time: each operation runs once counting the calls it makes
// that can fail, then once per such call with that call failing. Three sweeps per operation:
// the platform's calls (allocation, impersonation, registry, loading, user name, conversion),
// each failing as Windows reports it; every C++ allocation and calloc outside the platform,
// failing as when memory runs out (allocation_faults.cpp); and every file open, the trace
// log's and the exclusion file's (file_faults.cpp). Every run must end with a failed HRESULT and
// nothing told to the sink, or with success and exactly one final status; leave the thread not
// impersonating; leave no answer unfreed; and leave the provider serving the next normal call.
// Leaks are the leak checker's to find (asan preset).
#include "tests/e2e/provider_fixture.h"

#include "host/event_file.h"

#include <pw_fault.h>

#include <iostream>
#include <string>
#include <thread>
#include <tuple>

namespace pwtest {
namespace {

const char kAddresses[] =
    "<Obj><IPAddress>10.1.2.3</IPAddress><GLAddress>fd00::7</GLAddress></Obj>";

class FaultSweep;

struct Operation {
    const char* what;
    CallResult (*run)(FaultSweep&);
};

void PrintTo(const Operation& operation, std::ostream* os) {
    *os << operation.what;
}

// Which calls a sweep makes fail: the platform's, or every C++ allocation of the process.
struct Kinds {
    const char* what;
    unsigned bits;
};

class FaultSweep : public CommandTest,
                   public ::testing::WithParamInterface<std::tuple<Operation, Kinds>> {
  public:
    using CommandTest::Enumerate;
    using CommandTest::ExecArray;
    using CommandTest::ExecString;
    using CommandTest::Lookup;
    // A new provider object initialised: its one status is the init sink's, counted as final.
    // One whose Initialize failed is released, as the WMI service does.
    CallResult Start() {
        StopProvider();
        CallResult result;
        std::vector<LONG> statuses;
        result.hr = StartAnotherProvider(m_provider, &statuses);
        for (const LONG status : statuses) {
            result.statuses.push_back({static_cast<LONG>(WBEM_STATUS_COMPLETE), status});
        }
        if (FAILED(result.hr)) {
            StopProvider();
        }
        return result;
    }

    // Registration, then proof that whatever a run left behind, a clean unregistration and
    // registration go through.
    CallResult Register() {
        CallResult result = Completed(Armed([this] { return m_host->RegisterServer(); }));
        ExpectOutOfMemoryMapped(result.hr);
        EXPECT_EQ(m_host->UnregisterServer(), S_OK);
        EXPECT_EQ(m_host->RegisterServer(), S_OK);
        EXPECT_EQ(m_host->UnregisterServer(), S_OK);
        return result;
    }
    CallResult Unregister() {
        EXPECT_EQ(m_host->RegisterServer(), S_OK);
        CallResult result = Completed(Armed([this] { return m_host->UnregisterServer(); }));
        ExpectOutOfMemoryMapped(result.hr);
        EXPECT_EQ(m_host->UnregisterServer(), S_OK);
        return result;
    }
    // The class object and a provider object from it, as the COM runtime asks for them.
    CallResult ClassFactory() {
        pw::ComPtr<IWbemServices> provider;
        CallResult result = Completed(Armed([&] {
            pw::ComPtr<IClassFactory> factory;
            HRESULT hr =
                m_host->GetClassObject(host::kProviderClsid, IID_IClassFactory, factory.put_void());
            if (SUCCEEDED(hr)) {
                hr = factory->CreateInstance(nullptr, IID_IWbemServices, provider.put_void());
            }
            return hr;
        }));
        ExpectOutOfMemoryMapped(result.hr);
        return result;
    }

  protected:
    // A COM export or class-object call that fails for want of memory says so: through its
    // own code, not another failure's.
    void ExpectOutOfMemoryMapped(HRESULT hr) const {
        if (FAILED(hr) && m_faultKinds == PW_FAULT_MEMORY) {
            EXPECT_TRUE(hr == E_OUTOFMEMORY || hr == HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY))
                << std::hex << hr;
        }
    }

    // An operation without a sink: success counts as its one final status.
    static CallResult Completed(HRESULT hr) {
        CallResult result;
        result.hr = hr;
        if (SUCCEEDED(hr)) {
            result.statuses.push_back({static_cast<LONG>(WBEM_STATUS_COMPLETE), hr});
        }
        return result;
    }

    void SetUp() override {
        CommandTest::SetUp();
        m_tarda = std::make_unique<TestDA>("tarda64");
        m_tarda->Answer(kAddresses);
    }
    void TearDown() override {
        m_failAt.reset();
        CommandTest::TearDown();
        m_tarda.reset();
    }

    // A provider object of its own on fresh shared state: the run loads the modules and reads
    // the exclusion file again, so that every run passes the same points.
    void Fresh() {
        m_failAt.reset();
        StopProvider();
        ASSERT_EQ(StartProvider(), S_OK);
    }

    std::unique_ptr<TestDA> m_tarda;
};

// An operation ends either failed, with nothing told to the sink, or with exactly one final
// status (whose result may carry a failure of the hand-over).
bool EndedDefined(const CallResult& result) {
    if (FAILED(result.hr)) {
        return result.statuses.empty() && result.objects == 0;
    }
    return result.statuses.size() == 1 &&
           result.statuses[0].flags == static_cast<LONG>(WBEM_STATUS_COMPLETE) &&
           result.objects <= 1;
}

TEST_P(FaultSweep, EveryInjectedFailureEndsDefinedAndLeavesTheProviderUsable) {
    const Operation& operation = std::get<0>(GetParam());
    m_faultKinds = std::get<1>(GetParam()).bits;
    Fresh();
    m_failAt = 0;
    const CallResult clean = operation.run(*this);
    m_failAt.reset();
    ASSERT_TRUE(SUCCEEDED(clean.hr));
    const long points = m_faultPoints;
    if (points == 0) {
        GTEST_SKIP() << operation.what << " makes no call of these kinds";
    }

    for (long k = 1; k <= points; ++k) {
        SCOPED_TRACE("failing injection point " + std::to_string(k) + " of " +
                     std::to_string(points));
        Fresh();
        m_failAt = k;
        const CallResult result = operation.run(*this);
        m_failAt.reset();
        if (!m_provider) {
            ASSERT_EQ(StartProvider(), S_OK);
        }
        EXPECT_TRUE(EndedDefined(result))
            << "hr " << std::hex << result.hr << std::dec << ", " << result.statuses.size()
            << " statuses, " << result.objects << " objects";
        EXPECT_FALSE(host::ClientCall::ThreadIsImpersonating());
        for (TestDA* module : {m_lumda.get(), m_rights.get(), m_tarda.get()}) {
            EXPECT_EQ(module->Outstanding(), 0);
        }

        if (m_faultKinds == PW_FAULT_FILE_OPEN) {
            // A store whose file could not be opened refuses everyone until the file is read
            // again, at the next start on fresh shared state.
            Fresh();
        }
        const CallResult next = ExecString(L"daname=lumda64 velcmd=next");
        EXPECT_EQ(next.resultCode, std::optional<std::wstring>(L"0"));
        EXPECT_EQ(next.returnValue,
                  std::optional<std::wstring>(L"daname=lumda64\nvelcmd=next\nlocalLogin=TRUE"));
        if (HasFailure()) {
            break;  // the first broken point is the one to read
        }
    }
    RecordProperty("injectionPoints", static_cast<int>(points));
    std::cout << operation.what << ", " << std::get<1>(GetParam()).what << ": " << points
              << " injection points\n";
}

std::vector<Operation> SweptOperations() {
    return {
        Operation{"Initialize", [](FaultSweep& sweep) { return sweep.Start(); }},
        Operation{
            "CommandThatRuns",
            [](FaultSweep& sweep) { return sweep.ExecString(L"daname=lumda64 velcmd=getobject"); }},
        // A thread the provider has never seen: what a new thread costs the provider on its
        // first call is counted, and may fail, too.
        Operation{"CommandOnAFreshThread",
                  [](FaultSweep& sweep) {
                      CallResult result;
                      std::thread([&] {
                          result = sweep.ExecString(L"daname=lumda64 velcmd=getobject");
                      }).join();
                      return result;
                  }},
        Operation{"CommandThatIsRefused",
                  [](FaultSweep& sweep) {
                      return sweep.ExecString(L"daname=lumda64 velcmd=resetcontroller");
                  }},
        Operation{"ArrayInput",
                  [](FaultSweep& sweep) {
                      return sweep.ExecArray({L"daname=lumda64", L" velcmd=getobject ", L"a=b"});
                  }},
        Operation{"Enumeration", [](FaultSweep& sweep) { return sweep.Enumerate(); }},
        Operation{"Lookup", [](FaultSweep& sweep) { return sweep.Lookup(kInstancePath); }},
        Operation{"Register", [](FaultSweep& sweep) { return sweep.Register(); }},
        Operation{"Unregister", [](FaultSweep& sweep) { return sweep.Unregister(); }},
        Operation{"ClassFactory", [](FaultSweep& sweep) { return sweep.ClassFactory(); }},
    };
}

INSTANTIATE_TEST_SUITE_P(
    Operations, FaultSweep,
    ::testing::Combine(::testing::ValuesIn(SweptOperations()),
                       ::testing::Values(Kinds{"PlatformCalls", PW_FAULT_ALL},
                                         Kinds{"Memory", PW_FAULT_MEMORY},
                                         Kinds{"FileOpens", PW_FAULT_FILE_OPEN})),
    [](const ::testing::TestParamInfo<std::tuple<Operation, Kinds>>& sweep) {
        return std::string(std::get<0>(sweep.param).what) + std::get<1>(sweep.param).what;
    });

// Memory that runs out inside an entry point fails that call, and the administrator hears of
// it once: the entry point and what it met, whichever allocation failed.
class OutOfMemory : public CommandTest {};

TEST_F(OutOfMemory, InAnEntryPointIsReportedOnce) {
    const TempDir dir;
    const std::filesystem::path events = dir.path() / "events.txt";
    SetEnvironmentVariableA("PIPEWAY_EVENTLOG", events.string().c_str());
    m_faultKinds = PW_FAULT_MEMORY;
    m_failAt = 0;
    ExecString(L"daname=lumda64 velcmd=getobject");
    const long points = m_faultPoints;
    int stopped = 0;
    for (long k = 1; k <= points; ++k) {
        m_failAt = k;
        stopped += ExecString(L"daname=lumda64 velcmd=getobject").hr == Hr(WBEM_E_OUT_OF_MEMORY);
        m_failAt.reset();
    }
    SetEnvironmentVariableA("PIPEWAY_EVENTLOG", "/dev/null");
    std::vector<host::LoggedEvent> reported;
    for (const host::LoggedEvent& event : host::ReadEvents(events)) {
        if (event.id == 1007) {
            reported.push_back(event);
        }
    }
    EXPECT_GT(stopped, 1);
    ASSERT_EQ(reported.size(), 1u) << pwtest::ReadFile(events);
    EXPECT_EQ(reported[0].strings,
              (std::vector<std::string>{"CWMIPipewayProvider::ExecMethodAsync", "out of memory"}));
}

}  // namespace
}  // namespace pwtest
