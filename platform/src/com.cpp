// The COM runtime calls: apartment bookkeeping, class objects, task memory.
#include <wmiutils.h>

#include "wbem_path.h"

#include <cstdlib>

namespace {

// The calling thread's apartment: how often it was entered and with which model.
struct Apartment {
    int entries = 0;
    DWORD model = COINIT_MULTITHREADED;
};

thread_local Apartment t_apartment;

}  // namespace

extern "C" {

HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    (void)pvReserved;
    const DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
    if (t_apartment.entries > 0 && t_apartment.model != model) {
        return RPC_E_CHANGED_MODE;
    }
    t_apartment.model = model;
    return t_apartment.entries++ == 0 ? S_OK : S_FALSE;
}

HRESULT WINAPI CoInitialize(LPVOID pvReserved) {
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void WINAPI CoUninitialize(void) {
    if (t_apartment.entries > 0) {
        --t_apartment.entries;
    }
}

HRESULT WINAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid,
                                LPVOID* ppv) {
    (void)pvReserved;
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    if (rclsid == CLSID_WbemDefPath && (dwClsContext & CLSCTX_INPROC_SERVER) != 0) {
        return pwwbempath::GetClassObject(riid, ppv);
    }
    return REGDB_E_CLASSNOTREG;
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    const HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                        reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) {
        return hr;
    }
    const HRESULT created = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    return created;
}

LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb) {
    return std::malloc(cb == 0 ? 1 : cb);
}

LPVOID WINAPI CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
    return std::realloc(pv, cb == 0 ? 1 : cb);
}

void WINAPI CoTaskMemFree(LPVOID pv) {
    std::free(pv);
}

}  // extern "C"
