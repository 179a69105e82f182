// POSIX stand-in for <guiddef.h> and <unknwn.h>: GUIDs and the two interfaces every COM object
// starts from. Method order and parameter lists are those of the Windows headers, so objects
// written against them have the same virtual-table layout on both platforms.
#pragma once

#include <windef.h>
#include <winerror.h>

#include <cstring>

typedef struct _GUID {
    std::uint32_t Data1;
    unsigned short Data2;
    unsigned short Data3;
    unsigned char Data4[8];
} GUID;

using IID = GUID;
using CLSID = GUID;
using LPCLSID = CLSID*;
#define REFGUID const GUID&
#define REFIID const IID&
#define REFCLSID const IID&

inline int IsEqualGUID(REFGUID rguid1, REFGUID rguid2) {
    return !std::memcmp(&rguid1, &rguid2, sizeof(GUID));
}
#define IsEqualIID(riid1, riid2) IsEqualGUID(riid1, riid2)
#define IsEqualCLSID(rclsid1, rclsid2) IsEqualGUID(rclsid1, rclsid2)
inline bool operator==(REFGUID guidOne, REFGUID guidOther) {
    return !!IsEqualGUID(guidOne, guidOther);
}
inline bool operator!=(REFGUID guidOne, REFGUID guidOther) {
    return !(guidOne == guidOther);
}

#define STDAPI extern "C" HRESULT STDAPICALLTYPE

extern "C" {
PW_PLATFORM_API extern const IID IID_IUnknown;
PW_PLATFORM_API extern const IID IID_IClassFactory;
}

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
using LPUNKNOWN = IUnknown*;

struct IClassFactory : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                     void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};
