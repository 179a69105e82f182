// POSIX stand-in for <wbemprov.h>: the interfaces between the WMI service and a provider.
#pragma once

#include <wbemcli.h>

typedef LPWSTR WBEM_WSTR;
typedef LPCWSTR WBEM_CWSTR;

typedef enum tag_WBEM_PROVIDER_REQUIREMENTS_TYPE {
    WBEM_REQUIREMENTS_START_POSTFILTER = 0,
    WBEM_REQUIREMENTS_STOP_POSTFILTER = 1,
    WBEM_REQUIREMENTS_RECHECK_SUBSCRIPTIONS = 2
} WBEM_PROVIDER_REQUIREMENTS_TYPE;
typedef enum tag_WBEM_BATCH_TYPE {
    WBEM_FLAG_BATCH_IF_NEEDED = 0,
    WBEM_FLAG_MUST_BATCH = 0x1,
    WBEM_FLAG_MUST_NOT_BATCH = 0x2
} WBEM_BATCH_TYPE;
typedef enum tag_WBEM_PROVIDER_FLAGS { WBEM_FLAG_OWNER_UPDATE = 0x10000 } WBEM_PROVIDER_FLAGS;
typedef enum tag_WBEM_EXTRA_RETURN_CODES {
    WBEM_S_INITIALIZED = 0,
    WBEM_S_LIMITED_SERVICE = 0x43001,
    WBEM_S_INDIRECTLY_UPDATED = 0x43002,
    WBEM_S_SUBJECT_TO_SDS = 0x43003,
    WBEM_E_RETRY_LATER = 0x80043001,
    WBEM_E_RESOURCE_CONTENTION = 0x80043002
} WBEM_EXTRA_RETURN_CODES;

extern "C" {
PW_PLATFORM_API extern const IID IID_IWbemProviderInitSink;
PW_PLATFORM_API extern const IID IID_IWbemProviderInit;
}

struct IWbemProviderInitSink : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetStatus(LONG lStatus, LONG lFlags) = 0;
};

struct IWbemProviderInit : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Initialize(LPWSTR wszUser, LONG lFlags, LPWSTR wszNamespace,
                                                 LPWSTR wszLocale, IWbemServices* pNamespace,
                                                 IWbemContext* pCtx,
                                                 IWbemProviderInitSink* pInitSink) = 0;
};
