// POSIX stand-in for <wbemprov.h>: the interfaces between the WMI service and a provider.
#pragma once

#include <wbemcli.h>

typedef enum tag_WBEM_EXTRA_RETURN_CODES { WBEM_S_INITIALIZED = 0 } WBEM_EXTRA_RETURN_CODES;

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
