// The library's entry points: process attach and detach, and the COM exports.
#include "provider/class_factory.h"
#include "provider/module.h"
#include "provider/registration.h"
#include "provider/provider_object.h"

#include "core/lifecycle.h"
#include "core/pipeway_provider_impl.h"
#include "log/trace_log.h"
#include "pw/events.h"

#include <windows.h>

CiPipewayProviderModule g_module;

namespace {

// Whether the module came up at the attach notification; a library whose module did not is
// refused (Windows) or hands out no class object (POSIX, where loading cannot be refused).
bool g_moduleReady = false;

bool ProcessAttach() {
    try {
        TraceLogProcessAttach();
        pw::core::ProcessAttach();
        g_moduleReady = true;
    } catch (...) {
        g_moduleReady = false;
    }
    return g_moduleReady;
}

void ProcessDetach() {
    ReleaseCachedClassFactory();
    pw::core::ProcessDetach();
    TraceLogProcessDetach();
    pw::events::ProcessDetach();
}

}  // namespace

#if defined(_WIN32)
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        return ProcessAttach() ? TRUE : FALSE;
    }
    if (reason == DLL_PROCESS_DETACH) {
        ProcessDetach();
    }
    return TRUE;
}
#define PW_EXPORT extern "C"
#else
// The shared library's load and unload hooks play the attach and detach notifications.
__attribute__((constructor)) static void LibraryLoaded() {
    ProcessAttach();
}
__attribute__((destructor)) static void LibraryUnloaded() {
    ProcessDetach();
}
#define PW_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (!g_moduleReady) {
        return E_UNEXPECTED;
    }
    if (!IsEqualCLSID(clsid, CLSID_WMIPipewayProvider)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    CWMIPipewayProviderFactory* factory = GetCachedClassFactory();
    if (factory == nullptr) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    const HRESULT hr = factory->QueryInterface(riid, object);
    if (SUCCEEDED(hr) && *object == nullptr) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return hr;
}

}  // namespace

// No exception leaves an export: each one that reaches here becomes its own HRESULT.
PW_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
    return pw::Guarded(pw::kComFailures, [&] { return GetClassObject(clsid, riid, object); });
}

PW_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return g_module.GetLockCount() == 0 ? S_OK : S_FALSE;
}

PW_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() {
    return pw::Guarded(pw::kComFailures, [&] { return RegisterServer(); });
}

PW_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return pw::Guarded(pw::kComFailures, [&] { return UnregisterServer(); });
}
