// POSIX stand-in for <wmiutils.h>: the WMI object-path parser.
//
// CoGetClassObject(CLSID_WbemDefPath, ...) gives the factory of this project's own parser
// (wbempath/), which Windows builds can load as a COM server too.
#pragma once

#include <windows.h>

struct IWbemPathKeyList;
struct IWbemPath;

typedef enum tag_WBEM_PATH_STATUS_FLAG {
    WBEMPATH_INFO_ANON_LOCAL_MACHINE = 0x1,
    WBEMPATH_INFO_HAS_MACHINE_NAME = 0x2,
    WBEMPATH_INFO_IS_CLASS_REF = 0x4,
    WBEMPATH_INFO_IS_INST_REF = 0x8,
    WBEMPATH_INFO_HAS_IMPLIED_KEY = 0x80,
    WBEMPATH_INFO_CONTAINS_SINGLETON = 0x100,
    WBEMPATH_INFO_V2_COMPLIANT = 0x400,
    WBEMPATH_INFO_CIM_COMPLIANT = 0x800,
    WBEMPATH_INFO_IS_SINGLETON = 0x1000,
    WBEMPATH_INFO_SERVER_NAMESPACE_ONLY = 0x4000,
    WBEMPATH_INFO_PATH_HAD_SERVER = 0x20000
} tag_WBEM_PATH_STATUS_FLAG;

typedef enum tag_WBEM_PATH_CREATE_FLAG {
    WBEMPATH_CREATE_ACCEPT_RELATIVE = 0x1,
    WBEMPATH_CREATE_ACCEPT_ABSOLUTE = 0x2,
    WBEMPATH_CREATE_ACCEPT_ALL = 0x4,
    WBEMPATH_TREAT_SINGLE_IDENT_AS_NS = 0x8
} tag_WBEM_PATH_CREATE_FLAG;

extern "C" {
PW_PLATFORM_API extern const IID IID_IWbemPathKeyList;
PW_PLATFORM_API extern const IID IID_IWbemPath;
PW_PLATFORM_API extern const CLSID CLSID_WbemDefPath;
}

struct IWbemPathKeyList : public IUnknown {
    virtual HRESULT WINAPI GetCount(ULONG* puKeyCount) = 0;
    virtual HRESULT WINAPI SetKey(LPCWSTR wszName, ULONG uFlags, ULONG uCimType,
                                  LPVOID pKeyVal) = 0;
    virtual HRESULT WINAPI SetKey2(LPCWSTR wszName, ULONG uFlags, ULONG uCimType,
                                   VARIANT* pKeyVal) = 0;
    virtual HRESULT WINAPI GetKey(ULONG uKeyIx, ULONG uFlags, ULONG* puNameBufSize,
                                  LPWSTR pszKeyName, ULONG* puKeyValBufSize, LPVOID pKeyVal,
                                  ULONG* puApparentCimType) = 0;
    virtual HRESULT WINAPI GetKey2(ULONG uKeyIx, ULONG uFlags, ULONG* puNameBufSize,
                                   LPWSTR pszKeyName, VARIANT* pKeyValue,
                                   ULONG* puApparentCimType) = 0;
    virtual HRESULT WINAPI RemoveKey(LPCWSTR wszName, ULONG uFlags) = 0;
    virtual HRESULT WINAPI RemoveAllKeys(ULONG uFlags) = 0;
    virtual HRESULT WINAPI MakeSingleton(boolean bSet) = 0;
    virtual HRESULT WINAPI GetInfo(ULONG uRequestedInfo, ULONGLONG* puResponse) = 0;
    virtual HRESULT WINAPI GetText(LONG lFlags, ULONG* puBuffLength, LPWSTR pszText) = 0;
};

struct IWbemPath : public IUnknown {
    virtual HRESULT WINAPI SetText(ULONG uMode, LPCWSTR pszPath) = 0;
    virtual HRESULT WINAPI GetText(LONG lFlags, ULONG* puBuffLength, LPWSTR pszText) = 0;
    virtual HRESULT WINAPI GetInfo(ULONG uRequestedInfo, ULONGLONG* puResponse) = 0;
    virtual HRESULT WINAPI SetServer(LPCWSTR Name) = 0;
    virtual HRESULT WINAPI GetServer(ULONG* puNameBufLength, LPWSTR pName) = 0;
    virtual HRESULT WINAPI GetNamespaceCount(ULONG* puCount) = 0;
    virtual HRESULT WINAPI SetNamespaceAt(ULONG uIndex, LPCWSTR pszName) = 0;
    virtual HRESULT WINAPI GetNamespaceAt(ULONG uIndex, ULONG* puNameBufLength, LPWSTR pName) = 0;
    virtual HRESULT WINAPI RemoveNamespaceAt(ULONG uIndex) = 0;
    virtual HRESULT WINAPI RemoveAllNamespaces(void) = 0;
    virtual HRESULT WINAPI GetScopeCount(ULONG* puCount) = 0;
    virtual HRESULT WINAPI SetScope(ULONG uIndex, LPWSTR pszClass) = 0;
    virtual HRESULT WINAPI SetScopeFromText(ULONG uIndex, LPWSTR pszText) = 0;
    virtual HRESULT WINAPI GetScope(ULONG uIndex, ULONG* puClassNameBufSize, LPWSTR pszClass,
                                    IWbemPathKeyList** pKeyList) = 0;
    virtual HRESULT WINAPI GetScopeAsText(ULONG uIndex, ULONG* puTextBufSize, LPWSTR pszText) = 0;
    virtual HRESULT WINAPI RemoveScope(ULONG uIndex) = 0;
    virtual HRESULT WINAPI RemoveAllScopes(void) = 0;
    virtual HRESULT WINAPI SetClassName(LPCWSTR Name) = 0;
    virtual HRESULT WINAPI GetClassName(ULONG* puBuffLength, LPWSTR pszName) = 0;
    virtual HRESULT WINAPI GetKeyList(IWbemPathKeyList** pOut) = 0;
    virtual HRESULT WINAPI CreateClassPart(LONG lFlags, LPCWSTR Name) = 0;
    virtual HRESULT WINAPI DeleteClassPart(LONG lFlags) = 0;
    virtual WINBOOL WINAPI IsRelative(LPWSTR wszMachine, LPWSTR wszNamespace) = 0;
    virtual WINBOOL WINAPI IsRelativeOrChild(LPWSTR wszMachine, LPWSTR wszNamespace,
                                             LONG lFlags) = 0;
    virtual WINBOOL WINAPI IsLocal(LPCWSTR wszMachine) = 0;
    virtual WINBOOL WINAPI IsSameClassName(LPCWSTR wszClass) = 0;
};
