// Loads the provider library and creates and initialises provider objects the way the WMI
// service does: through the library's DllGetClassObject, with a namespace that serves the
// class definition, under a client call.
#pragma once

#include "host/host_objects.h"
#include "pw/resources.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>

namespace host {

// {6B1E7C52-3A4D-4F8B-9C2E-5D7A1F3B8E40}: the provider class.
extern const CLSID kProviderClsid;

// The class registered under `progId` when COM activation can create it: on Windows, from the
// registry; never on POSIX, where the host always loads the library itself.
std::optional<CLSID> RegisteredClass(const wchar_t* progId);
// The full path of the library whose code implements `object`; empty when it cannot be told.
std::string ImplementingLibrary(IUnknown* object);

class ProviderHost : private pw::NoCopy {
  public:
    // Loads the library at `libraryPath` (a full path, or a bare name searched as usual).
    explicit ProviderHost(const std::string& libraryPath);
    // Creates provider objects the way the WMI service does, through COM activation of the
    // class `progId` names, when that class is registered; otherwise (or with a null
    // `progId`) as above.
    ProviderHost(const wchar_t* progId, const std::string& libraryPath);
    ~ProviderHost();

    bool Loaded() const { return m_library || m_registeredClass.has_value(); }
    // Whether provider objects come from COM activation of the registered class.
    const std::optional<CLSID>& Registered() const { return m_registeredClass; }
    // A new provider object, not yet initialised.
    HRESULT CreateProvider(IWbemServices** provider);
    // Initialize on the provider's IWbemProviderInit, with this host's namespace.
    HRESULT Initialize(IWbemServices* provider, InitSink* sink);
    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object);
    HRESULT CanUnloadNow();
    HRESULT RegisterServer();
    HRESULT UnregisterServer();

    // From now on, every provider object's teardown meets COM's unused-library sweep (below).
    // The tests' hosts turn it on; pipeway and the benchmarks, which would pay a thread for
    // each release of the namespace, leave it off.
    void SweepUnusedLibrariesDuringTeardown();

    Namespace* GetNamespace() const { return m_namespace.get(); }

    // How often a provider object's teardown was found unloadable, and the library unloaded.
    int UnloadsDuringTeardown() const { return m_unloadsDuringTeardown.load(); }
    ClassObject* ClassDefinition() const { return m_classDefinition.get(); }

  private:
    // Calls the library's export `name`, which takes nothing and returns an HRESULT.
    HRESULT CallExport(const char* name);
    // COM's unused-library sweep, run while a provider object tears down (when it lets go of
    // its namespace): another thread asks DllCanUnloadNow and, on S_OK, unloads the library,
    // as the sweep would. A library that says yes while its code still runs is unloaded under
    // it, and the test crashes: that is the point.
    static void SweepDuringTeardown(void* host);

    pw::UniqueLibrary m_library;
    std::optional<CLSID> m_registeredClass;
    bool m_comInitialized = false;
    pw::ComPtr<Namespace> m_namespace;
    pw::ComPtr<ClassObject> m_classDefinition;
    std::atomic<int> m_unloadsDuringTeardown{0};
    std::mutex m_sweepLock;
};

}  // namespace host
