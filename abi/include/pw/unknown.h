// IUnknown, written once for every COM object of the system: QueryInterface from a table of the
// interfaces an object implements, and the reference count of an object that frees itself.
#pragma once

#include <windows.h>

#include <atomic>
#include <initializer_list>

// An interface method that answers `result` at once, reading none of its arguments: for the
// operations an object does not offer.
#define PW_UNOFFERED_METHOD(result, method, ...)             \
    HRESULT STDMETHODCALLTYPE method(__VA_ARGS__) override { \
        return result;                                       \
    }

namespace pw {

// One interface an object hands out: its IID and the object as that interface.
struct InterfaceEntry {
    const IID* iid;
    IUnknown* object;
};

// Answers QueryInterface from the interfaces an object implements; the first one also answers
// for IUnknown. A match gets a new reference.
inline HRESULT QueryInterfaceFrom(REFIID riid, void** object,
                                  std::initializer_list<InterfaceEntry> interfaces) {
    if (object == nullptr) {
        return E_POINTER;
    }
    for (const InterfaceEntry& entry : interfaces) {
        if (IsEqualIID(riid, *entry.iid) ||
            (&entry == interfaces.begin() && IsEqualIID(riid, IID_IUnknown))) {
            entry.object->AddRef();
            *object = entry.object;
            return S_OK;
        }
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// A COM object implementing `Interfaces`, made with new: it starts with the one reference its
// maker holds and deletes itself at the last Release. One AddRef and one Release serve every
// interface. The object supplies QueryInterface (with QueryInterfaceFrom).
template <typename... Interfaces>
class ComObject : public Interfaces... {
  public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG count = --m_references;
        if (count == 0) {
            delete this;
        }
        return count;
    }

  protected:
    ComObject() = default;
    virtual ~ComObject() = default;

  private:
    std::atomic<ULONG> m_references{1};
};

}  // namespace pw
