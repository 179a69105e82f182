#include "tests/e2e/provider_fixture.h"

#include "pw/stack_layout.h"

#if !defined(_WIN32)
#include <pw_fault.h>
#endif

#include <cstdlib>

namespace pwtest {

namespace fs = std::filesystem;

const WCHAR* const kInstancePath =
    L"ZOLM_OEM_DataAccessModule.InstanceID=\"ZOLM_OEM_DataAccessModule1\"";

namespace {

const char kPolicy[] =
    "<AUTHEXLIST><USER><COMMAND name=\"setobject\"/></USER>"
    "<ADMIN><COMMAND name=\"resetcontroller\"/></ADMIN></AUTHEXLIST>";

}  // namespace

fs::path ProviderLibraryPath() {
#if defined(_WIN32)
    return ProgramFolder().parent_path() / "bin" / "WinPipeway.dll";
#else
    return ProgramFolder().parent_path() / "bin" / "WinPipeway.so";
#endif
}

std::string LibraryFile(const std::string& module) {
    return module + pw::stack::kLibraryExtension;
}

std::string MaskAnswer(int mask) {
    return "<UserRights><UserRightsMask>" + std::to_string(mask) + "</UserRightsMask></UserRights>";
}

void SetLibraryDirectory(const std::optional<std::string>& directory) {
    if (!directory) {
        pw::stack::SetLibraryFolder("");
        return;
    }
    ASSERT_TRUE(pw::stack::SetLibraryFolder(*directory));
}

void ProviderTest::SetUp() {
    m_liveAtStart = host::LiveObjects();
#if !defined(_WIN32)
    m_registryDir = std::make_unique<TempDir>();
    SetEnvironmentVariableA("PIPEWAY_REGISTRY",
                            (m_registryDir->path() / "registry.txt").string().c_str());
#endif
    SetSearchPath({DAFolder("good")});
    SetLibraryDirectory(DAFolder("good").string());
    m_root = std::make_unique<InstallRoot>();
    m_root->WriteExclusionFile(kPolicy);
    WriteFile(LogFile(), "");
    m_host = std::make_unique<host::ProviderHost>(ProviderLibraryPath().string());
    ASSERT_TRUE(m_host->Loaded()) << ProviderLibraryPath();
    m_host->SweepUnusedLibrariesDuringTeardown();
}

void ProviderTest::TearDown() {
    StopProvider();
    if (m_host) {
        // The host asked DllCanUnloadNow during every teardown: never yes while one ran.
        EXPECT_EQ(m_host->UnloadsDuringTeardown(), 0);
    }
    m_host.reset();
    m_root.reset();
    SetLibraryDirectory(std::nullopt);
    m_registryDir.reset();
}

void CommandTest::SetUp() {
    ProviderTest::SetUp();
    m_rights = std::make_unique<TestDA>("rukda64");
    m_rights->Answer(MaskAnswer(4));
    m_lumda = std::make_unique<TestDA>("lumda64");
    ASSERT_EQ(StartProvider(), S_OK);
}

void CommandTest::TearDown() {
    ProviderTest::TearDown();
    m_lumda.reset();
    m_rights.reset();
}

HRESULT ProviderTest::StartProvider() {
    return StartAnotherProvider(m_provider);
}

HRESULT ProviderTest::StartAnotherProvider(pw::ComPtr<IWbemServices>& provider,
                                           std::vector<LONG>* statuses, DWORD level) {
    HRESULT hr = m_host->CreateProvider(provider.put());
    if (FAILED(hr)) {
        provider.detach();  // a failed creation hands out nothing to release
        return hr;
    }
    const pw::ComPtr<host::InitSink> sink(new host::InitSink);
    {
        host::ClientCall client(L"HOST\\alice", level);
        hr = Armed([&] { return m_host->Initialize(provider.get(), sink.get()); });
        EXPECT_FALSE(host::ClientCall::ThreadIsImpersonating());
    }
    if (statuses != nullptr) {
        *statuses = sink->Statuses();
    }
    return hr;
}

void ProviderTest::StopProvider() {
    m_provider.reset();
}

HRESULT ProviderTest::Armed(const std::function<HRESULT()>& call) {
#if !defined(_WIN32)
    if (m_failAt) {
        PwArmFaults(m_faultKinds, *m_failAt);
        const HRESULT hr = call();
        m_faultPoints = PwDisarmFaults();
        return hr;
    }
#endif
    return call();
}

fs::path ProviderTest::LogFile() const {
    return m_root->path() / "svx" / "pipeway" / "log" / "WinPipeway.log";
}

TraceFile ProviderTest::Log() const {
    return TraceFile(LogFile());
}

CallResult ProviderTest::Exec(VARIANT* input, DWORD level, const WCHAR* path, const WCHAR* method,
                              bool withInParams, bool withSink) {
    return ExecOn(m_provider.get(), input, level, path, method, withInParams, withSink);
}

CallResult ProviderTest::ExecOn(IWbemServices* provider, VARIANT* input, DWORD level,
                                const WCHAR* path, const WCHAR* method, bool withInParams,
                                bool withSink) {
    const host::MethodCall call(m_host->ClassDefinition(), path,
                                method == nullptr ? host::kExecuteCommand : method, input,
                                withInParams);
    return call.Call(provider, m_clientName, level, withSink, [this](const auto& body) {
        const HRESULT hr = Armed(body);
        EXPECT_FALSE(host::ClientCall::ThreadIsImpersonating());
        return hr;
    });
}

CallResult ProviderTest::ExecString(const std::wstring& text, DWORD level) {
    return ExecStringOn(m_provider.get(), text, level);
}

CallResult ProviderTest::ExecStringOn(IWbemServices* provider, const std::wstring& text,
                                      DWORD level) {
    pw::UniqueVariant input;
    host::SetStringInput(input, text);
    return ExecOn(provider, input.get(), level);
}

CallResult ProviderTest::ExecArray(const std::vector<std::wstring>& elements, DWORD level) {
    pw::UniqueVariant input;
    host::SetArrayInput(input, elements);
    return Exec(input.get(), level);
}

namespace {

// One instance call (enumeration or lookup) as a client at `level`: its result and the
// properties of the instance handed over.
template <typename Call>
CallResult InstanceCall(DWORD level, Call call) {
    const pw::ComPtr<host::ObjectSink> sink(new host::ObjectSink);
    HRESULT hr = E_FAIL;
    {
        host::ClientCall client(L"HOST\\alice", level);
        hr = call(sink.get());
        EXPECT_FALSE(host::ClientCall::ThreadIsImpersonating());
    }
    return host::Collect(hr, *sink.get());
}

}  // namespace

CallResult ProviderTest::Enumerate(DWORD level) {
    return EnumerateOn(m_provider.get(), level);
}

CallResult ProviderTest::Lookup(const WCHAR* path, DWORD level) {
    return LookupOn(m_provider.get(), path, level);
}

CallResult ProviderTest::EnumerateOn(IWbemServices* provider, DWORD level) {
    return InstanceCall(level, [this, provider](IWbemObjectSink* sink) {
        const pw::UniqueBstr className(L"ZOLM_OEM_DataAccessModule");
        return Armed(
            [&] { return provider->CreateInstanceEnumAsync(className.get(), 0, nullptr, sink); });
    });
}

CallResult ProviderTest::LookupOn(IWbemServices* provider, const WCHAR* path, DWORD level) {
    return InstanceCall(level, [this, provider, path](IWbemObjectSink* sink) {
        const pw::UniqueBstr pathText(path);
        return Armed([&] { return provider->GetObjectAsync(pathText.get(), 0, nullptr, sink); });
    });
}

}  // namespace pwtest
