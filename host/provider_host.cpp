#include "provider_host.h"

#include "pw/resources.h"

namespace host {

namespace {

using DllGetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
// DllCanUnloadNow, DllRegisterServer and DllUnregisterServer.
using ExportFn = HRESULT(STDAPICALLTYPE*)();

}  // namespace

const char kLibraryKey[] = "SOFTWARE\\Halvern Computer Corporation\\Corvane\\Shared";

bool SetLibraryDirectory(const std::string& folder) {
    pw::UniqueKey key;
    if (folder.empty()) {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLibraryKey, 0, KEY_ALL_ACCESS, key.put()) !=
            ERROR_SUCCESS) {
            return true;  // no key, no value
        }
        const LONG result = RegDeleteValueA(key.get(), "CorvaneLibPath");
        return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
    }
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kLibraryKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return RegSetValueExA(key.get(), "CorvaneLibPath", 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(folder.c_str()),
                          static_cast<DWORD>(folder.size() + 1)) == ERROR_SUCCESS;
}

std::optional<std::string> LibraryDirectory() {
    char folder[4096] = {};
    DWORD size = sizeof folder;
    DWORD type = 0;
    pw::UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLibraryKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const LONG result = RegQueryValueExA(key.get(), "CorvaneLibPath", nullptr, &type,
                                         reinterpret_cast<BYTE*>(folder), &size);
    if (result != ERROR_SUCCESS || type != REG_SZ || size >= sizeof folder) {
        return std::nullopt;
    }
    return std::string(folder);
}

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

ProviderHost::~ProviderHost() {
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
