#include "provider/class_factory.h"

#include "provider/module.h"
#include "provider/provider_object.h"

#include <mutex>
#include <new>

namespace {

std::atomic<CWMIPipewayProviderFactory*> g_classObject{nullptr};
std::mutex g_classTableLock;

}  // namespace

ULONG STDMETHODCALLTYPE CWMIPipewayProviderFactory::AddRef() {
    const ULONG count = ++m_refCount;
    if (count == 2) {
        g_module.Lock();
    }
    return count;
}

ULONG STDMETHODCALLTYPE CWMIPipewayProviderFactory::Release() {
    const ULONG count = --m_refCount;
    if (count == 1) {
        g_module.Unlock();
    } else if (count == 0) {
        delete this;
    }
    return count;
}

HRESULT STDMETHODCALLTYPE CWMIPipewayProviderFactory::CreateInstance(IUnknown* outer, REFIID riid,
                                                                     void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    return pw::Guarded(pw::kComFailures, [&] {
        // The owner's reference goes at the end: the object then lives by the one the query
        // took, or is destroyed when the query took none.
        const pw::ComPtr<CWMIPipewayProvider> provider(new CWMIPipewayProvider());
        return provider->QueryInterface(riid, object);
    });
}

HRESULT STDMETHODCALLTYPE CWMIPipewayProviderFactory::LockServer(BOOL lock) {
    if (lock) {
        g_module.Lock();
    } else {
        g_module.Unlock();
    }
    return S_OK;
}

CWMIPipewayProviderFactory* GetCachedClassFactory() {
    CWMIPipewayProviderFactory* factory = g_classObject.load(std::memory_order_acquire);
    if (factory != nullptr) {
        return factory;
    }
    std::lock_guard<std::mutex> lock(g_classTableLock);
    factory = g_classObject.load(std::memory_order_relaxed);
    if (factory == nullptr) {
        factory = new (std::nothrow) CWMIPipewayProviderFactory();
        if (factory != nullptr) {
            factory->AddRef();  // the class table's own reference
            g_classObject.store(factory, std::memory_order_release);
        }
    }
    return factory;
}

void ReleaseCachedClassFactory() {
    // The class table's reference goes with the owner.
    const pw::ComPtr<CWMIPipewayProviderFactory> factory(g_classObject.exchange(nullptr));
}
