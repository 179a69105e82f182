#include "host/provider_host.h"

#include "pw/resources.h"

#include <mutex>
#include <thread>

namespace host {

namespace {

using DllGetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
// DllCanUnloadNow, DllRegisterServer and DllUnregisterServer.
using ExportFn = HRESULT(STDAPICALLTYPE*)();

}  // namespace

const CLSID kProviderClsid = {
    0x6b1e7c52, 0x3a4d, 0x4f8b, {0x9c, 0x2e, 0x5d, 0x7a, 0x1f, 0x3b, 0x8e, 0x40}};

ProviderHost::ProviderHost(const std::string& libraryPath) : ProviderHost(nullptr, libraryPath) {}

ProviderHost::ProviderHost(const wchar_t* progId, const std::string& libraryPath)
    : m_namespace(new Namespace), m_classDefinition(MakeDataAccessModuleClass()) {
    m_namespace->AddClass(m_classDefinition.get());
    // The extended-status class that provider helpers ask for.
    const pw::ComPtr<ClassObject> extendedStatus(
        new ClassObject(L"__ExtendedStatus", {L"Description", L"Operation"}, true));
    m_namespace->AddClass(extendedStatus.get());
    if (progId != nullptr) {
        m_registeredClass = RegisteredClass(progId);
    }
    if (m_registeredClass) {
        m_comInitialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    } else {
        m_library.reset(LoadLibraryA(libraryPath.c_str()));
    }
}

void ProviderHost::SweepUnusedLibrariesDuringTeardown() {
    m_namespace->SetReleaseHook(&ProviderHost::SweepDuringTeardown, this);
}

void ProviderHost::SweepDuringTeardown(void* context) {
    auto* host = static_cast<ProviderHost*>(context);
    // One sweep at a time, as COM's: two teardowns on two threads both told S_OK unload once.
    const std::lock_guard<std::mutex> sweeping(host->m_sweepLock);
    if (!host->m_library) {
        return;  // COM loaded the library: its own sweep is the one that runs
    }
    HRESULT answer = S_FALSE;
    try {
        std::thread([host, &answer] { answer = host->CanUnloadNow(); }).join();
    } catch (...) {
        answer = host->CanUnloadNow();  // no thread to be had: asked from this one
    }
    if (answer == S_OK) {
        ++host->m_unloadsDuringTeardown;
        host->m_library.reset();
    }
}

ProviderHost::~ProviderHost() {
    m_namespace->SetReleaseHook(nullptr, nullptr);
    if (m_comInitialized) {
        CoUninitialize();
    }
}

HRESULT ProviderHost::GetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (m_registeredClass) {
        return CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, riid, object);
    }
    if (!m_library) {
        return CO_E_DLLNOTFOUND;
    }
    auto getClassObject =
        pw::ProcAs<DllGetClassObjectFn>(GetProcAddress(m_library.get(), "DllGetClassObject"));
    if (getClassObject == nullptr) {
        return CO_E_ERRORINDLL;
    }
    return getClassObject(clsid, riid, object);
}

HRESULT ProviderHost::CanUnloadNow() {
    return CallExport("DllCanUnloadNow");
}

HRESULT ProviderHost::RegisterServer() {
    return CallExport("DllRegisterServer");
}

HRESULT ProviderHost::UnregisterServer() {
    return CallExport("DllUnregisterServer");
}

HRESULT ProviderHost::CallExport(const char* name) {
    if (!m_library) {
        return CO_E_DLLNOTFOUND;
    }
    auto entry = pw::ProcAs<ExportFn>(GetProcAddress(m_library.get(), name));
    return entry == nullptr ? CO_E_ERRORINDLL : entry();
}

HRESULT ProviderHost::CreateProvider(IWbemServices** provider) {
    if (m_registeredClass) {
        return CoCreateInstance(*m_registeredClass, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWbemServices, reinterpret_cast<void**>(provider));
    }
    pw::ComPtr<IClassFactory> factory;
    const HRESULT hr = GetClassObject(kProviderClsid, IID_IClassFactory, factory.put_void());
    if (FAILED(hr)) {
        return hr;
    }
    return factory->CreateInstance(nullptr, IID_IWbemServices, reinterpret_cast<void**>(provider));
}

HRESULT ProviderHost::Initialize(IWbemServices* provider, InitSink* sink) {
    pw::ComPtr<IWbemProviderInit> init;
    const HRESULT hr = provider->QueryInterface(IID_IWbemProviderInit, init.put_void());
    if (FAILED(hr)) {
        return hr;
    }
    return init->Initialize(nullptr, 0, const_cast<LPWSTR>(L"root\\cimv2"), nullptr,
                            m_namespace.get(), nullptr, sink);
}

}  // namespace host
