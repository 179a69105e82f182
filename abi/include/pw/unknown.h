// QueryInterface, written once for every COM object of the system.
#pragma once

#include <windows.h>

#include <initializer_list>

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

}  // namespace pw
