#include "provider_fixture.h"

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

std::string MaskAnswer(int mask) {
    return "<UserRights><UserRightsMask>" + std::to_string(mask) + "</UserRightsMask></UserRights>";
}

void SetLibraryDirectory(const std::optional<std::string>& directory) {
    if (!directory) {
        host::SetLibraryDirectory("");
        return;
    }
    ASSERT_TRUE(host::SetLibraryDirectory(*directory));
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
}

void ProviderTest::TearDown() {
    StopProvider();
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
    return StartAnotherProvider(&m_provider);
}

HRESULT ProviderTest::StartAnotherProvider(IWbemServices** provider) {
    HRESULT hr = m_host->CreateProvider(provider);
    if (FAILED(hr)) {
        return hr;
    }
    auto* sink = new host::InitSink;
    {
        host::ClientCall client(L"HOST\\alice", kImpersonate);
        hr = Armed([&] { return m_host->Initialize(*provider, sink); });
    }
    sink->Release();
    return hr;
}

void ProviderTest::StopProvider() {
    if (m_provider != nullptr) {
        m_provider->Release();
        m_provider = nullptr;
    }
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
    return ExecOn(m_provider, input, level, path, method, withInParams, withSink);
}

CallResult ProviderTest::ExecOn(IWbemServices* provider, VARIANT* input, DWORD level,
                                const WCHAR* path, const WCHAR* method, bool withInParams,
                                bool withSink) {
    CallResult result;
    IWbemClassObject* inSignature = nullptr;
    IWbemClassObject* inParams = nullptr;
    if (withInParams) {
        m_host->ClassDefinition()->GetMethod(host::kExecuteCommand, 0, &inSignature, nullptr);
        inSignature->SpawnInstance(0, &inParams);
        inSignature->Release();
        if (input != nullptr) {
            inParams->Put(L"CommandAndArguments", 0, input, 0);
        }
    }
    auto* sink = new host::ObjectSink;
    BSTR pathText = SysAllocString(path);
    BSTR methodText = SysAllocString(method == nullptr ? host::kExecuteCommand : method);
    {
        host::ClientCall client(m_clientName, level);
        result.hr = Armed([&] {
            return provider->ExecMethodAsync(pathText, methodText, 0, nullptr, inParams,
                                             withSink ? sink : nullptr);
        });
        EXPECT_FALSE(host::ClientCall::ThreadIsImpersonating());
    }
    SysFreeString(pathText);
    SysFreeString(methodText);
    result.statuses = sink->Statuses();
    const std::vector<IWbemClassObject*> objects = sink->Objects();
    result.objects = objects.size();
    if (!objects.empty()) {
        result.returnValue = host::StringProperty(objects[0], L"ReturnValue");
        result.resultCode = host::StringProperty(objects[0], L"ResultCode");
    }
    sink->Release();
    if (inParams != nullptr) {
        inParams->Release();
    }
    return result;
}

CallResult ProviderTest::ExecString(const std::wstring& text, DWORD level) {
    VARIANT input;
    VariantInit(&input);
    input.vt = VT_BSTR;
    input.bstrVal = SysAllocString(text.c_str());
    CallResult result = Exec(&input, level);
    VariantClear(&input);
    return result;
}

CallResult ProviderTest::ExecStringOn(IWbemServices* provider, const std::wstring& text) {
    VARIANT input;
    VariantInit(&input);
    input.vt = VT_BSTR;
    input.bstrVal = SysAllocString(text.c_str());
    CallResult result = ExecOn(provider, &input);
    VariantClear(&input);
    return result;
}

CallResult ProviderTest::ExecArray(const std::vector<std::wstring>& elements, DWORD level) {
    VARIANT input;
    VariantInit(&input);
    input.vt = VT_ARRAY | VT_BSTR;
    input.parray = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(elements.size()));
    for (LONG i = 0; i < static_cast<LONG>(elements.size()); ++i) {
        BSTR element = SysAllocString(elements[static_cast<std::size_t>(i)].c_str());
        SafeArrayPutElement(input.parray, &i, element);
        SysFreeString(element);
    }
    CallResult result = Exec(&input, level);
    VariantClear(&input);
    return result;
}

namespace {

// One instance call (enumeration or lookup) as a client at `level`: its result and the
// properties of the instance handed over.
template <typename Call>
CallResult InstanceCall(DWORD level, Call call) {
    CallResult result;
    auto* sink = new host::ObjectSink;
    {
        host::ClientCall client(L"HOST\\alice", level);
        result.hr = call(sink);
        EXPECT_FALSE(host::ClientCall::ThreadIsImpersonating());
    }
    result.statuses = sink->Statuses();
    const std::vector<IWbemClassObject*> objects = sink->Objects();
    result.objects = objects.size();
    if (result.objects == 1) {
        result.instanceId = host::StringProperty(objects[0], L"InstanceID");
        result.ipv4 = host::StringProperty(objects[0], L"KestroIPv4");
        result.ipv6 = host::StringProperty(objects[0], L"KestroIPv6");
    }
    sink->Release();
    return result;
}

}  // namespace

CallResult ProviderTest::Enumerate(DWORD level) {
    return EnumerateOn(m_provider, level);
}

CallResult ProviderTest::Lookup(const WCHAR* path, DWORD level) {
    return LookupOn(m_provider, path, level);
}

CallResult ProviderTest::EnumerateOn(IWbemServices* provider, DWORD level) {
    return InstanceCall(level, [this, provider](IWbemObjectSink* sink) {
        BSTR className = SysAllocString(L"ZOLM_OEM_DataAccessModule");
        const HRESULT hr =
            Armed([&] { return provider->CreateInstanceEnumAsync(className, 0, nullptr, sink); });
        SysFreeString(className);
        return hr;
    });
}

CallResult ProviderTest::LookupOn(IWbemServices* provider, const WCHAR* path, DWORD level) {
    return InstanceCall(level, [this, provider, path](IWbemObjectSink* sink) {
        BSTR pathText = SysAllocString(path);
        const HRESULT hr =
            Armed([&] { return provider->GetObjectAsync(pathText, 0, nullptr, sink); });
        SysFreeString(pathText);
        return hr;
    });
}

}  // namespace pwtest
