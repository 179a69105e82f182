// The class object of the provider class: one cached factory per process.
#pragma once

#include "pw/unknown.h"

#include <windows.h>

#include <atomic>

class CWMIPipewayProviderFactory : public pw::ImplementsInterfaces<IClassFactory> {
  public:
    CWMIPipewayProviderFactory() = default;
    CWMIPipewayProviderFactory(const CWMIPipewayProviderFactory&) = delete;
    CWMIPipewayProviderFactory& operator=(const CWMIPipewayProviderFactory&) = delete;

    // The class table holds one reference of its own; a client's reference (count 2 and
    // more) locks the module, so that only clients keep the library loaded.
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

  private:
    ~CWMIPipewayProviderFactory() override = default;
    std::atomic<ULONG> m_refCount{0};
};

// The cached factory, made on first use; null when it cannot be made.
CWMIPipewayProviderFactory* GetCachedClassFactory();
// Drops the class table's own reference, when the library is unloaded.
void ReleaseCachedClassFactory();
