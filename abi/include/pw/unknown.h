// IUnknown, written once for every COM object of the system: QueryInterface from the list of
// the interfaces an object implements, and the reference count of an object that frees itself.
#pragma once

#include <windows.h>

#include "pw/interface_id.h"

#include <atomic>
#include <tuple>

// An interface method that answers `result` at once, reading none of its arguments: for the
// operations an object does not offer.
#define PW_UNOFFERED_METHOD(result, method, ...)             \
    HRESULT STDMETHODCALLTYPE method(__VA_ARGS__) override { \
        return result;                                       \
    }

namespace pw {

// QueryInterface answered from the interfaces an object implements, each known by its type's
// IID (pw::InterfaceId); the first one also answers for IUnknown. A match gets a new
// reference. AddRef and Release are the deriving class's: for an object that counts
// references its own way.
template <typename... Interfaces>
class ImplementsInterfaces : public Interfaces... {
    static_assert(sizeof...(Interfaces) > 0, "an object implements at least one interface");
    using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;

  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        IUnknown* found = IsEqualIID(riid, IID_IUnknown) ? static_cast<First*>(this) : nullptr;
        // The first interface in the list whose IID matches, in the list's order.
        const auto match = [&found, &riid](IUnknown* candidate, const IID& iid) {
            if (found == nullptr && IsEqualIID(riid, iid)) {
                found = candidate;
            }
        };
        (match(static_cast<Interfaces*>(this), InterfaceId<Interfaces>::Get()), ...);
        if (found == nullptr) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        found->AddRef();
        *object = found;
        return S_OK;
    }

  protected:
    ImplementsInterfaces() = default;
    virtual ~ImplementsInterfaces() = default;
};

// A COM object implementing `Interfaces`, made with new: it starts with the one reference its
// maker holds and deletes itself at the last Release. One AddRef and one Release serve every
// interface.
template <typename... Interfaces>
class ComObject : public ImplementsInterfaces<Interfaces...> {
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

  private:
    std::atomic<ULONG> m_references{1};
};

}  // namespace pw
