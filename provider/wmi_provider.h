// The WMI provider object: the method execution, instance enumeration and lookup of the class
// ZOLM_OEM_DataAccessModule, and its start-up and teardown.
#pragma once

#include "pw/hresult.h"
#include "pw/unknown.h"
#include "pw/resources.h"
#include "pw/text.h"
#include "impersonation.h"
#include "provider_helper.h"

#include <wbemidl.h>

#include <atomic>
#include <cstdint>
#include <memory>

// "ZOLM_OEM_DataAccessModule"
extern const WCHAR* const g_className;

class CWMIPipewayProvider : public IWbemServices, public IWbemProviderInit {
  public:
    CWMIPipewayProvider();
    CWMIPipewayProvider(const CWMIPipewayProvider&) = delete;
    CWMIPipewayProvider& operator=(const CWMIPipewayProvider&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IWbemProviderInit
    HRESULT STDMETHODCALLTYPE Initialize(LPWSTR user, LONG flags, LPWSTR ns, LPWSTR locale,
                                         IWbemServices* services, IWbemContext* context,
                                         IWbemProviderInitSink* initSink) override;

    // IWbemServices, in the platform's order.
    HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR ns, LONG flags, IWbemContext* context,
                                            IWbemServices** working,
                                            IWbemCallResult** result) override;
    HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG flags, IWbemObjectSink** handler) override;
    HRESULT STDMETHODCALLTYPE GetObject(const BSTR path, LONG flags, IWbemContext* context,
                                        IWbemClassObject** object,
                                        IWbemCallResult** result) override;
    HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR path, LONG flags, IWbemContext* context,
                                             IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject* object, LONG flags, IWbemContext* context,
                                       IWbemCallResult** result) override;
    HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject* object, LONG flags,
                                            IWbemContext* context, IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR className, LONG flags, IWbemContext* context,
                                          IWbemCallResult** result) override;
    HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR className, LONG flags,
                                               IWbemContext* context,
                                               IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR superclass, LONG flags,
                                              IWbemContext* context,
                                              IEnumWbemClassObject** enumerator) override;
    HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR superclass, LONG flags,
                                                   IWbemContext* context,
                                                   IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject* instance, LONG flags,
                                          IWbemContext* context, IWbemCallResult** result) override;
    HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject* instance, LONG flags,
                                               IWbemContext* context,
                                               IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR path, LONG flags, IWbemContext* context,
                                             IWbemCallResult** result) override;
    HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR path, LONG flags,
                                                  IWbemContext* context,
                                                  IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR filter, LONG flags,
                                                 IWbemContext* context,
                                                 IEnumWbemClassObject** enumerator) override;
    HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR filter, LONG flags,
                                                      IWbemContext* context,
                                                      IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR language, const BSTR query, LONG flags,
                                        IWbemContext* context,
                                        IEnumWbemClassObject** enumerator) override;
    HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR language, const BSTR query, LONG flags,
                                             IWbemContext* context, IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR language, const BSTR query,
                                                    LONG flags, IWbemContext* context,
                                                    IEnumWbemClassObject** enumerator) override;
    HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR language, const BSTR query,
                                                         LONG flags, IWbemContext* context,
                                                         IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR path, const BSTR method, LONG flags,
                                         IWbemContext* context, IWbemClassObject* inParams,
                                         IWbemClassObject** outParams,
                                         IWbemCallResult** result) override;
    HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR path, const BSTR method, LONG flags,
                                              IWbemContext* context, IWbemClassObject* inParams,
                                              IWbemObjectSink* sink) override;

    // Makes "PATH" hold the stack's library directory that the registry names.
    static bool SetEnvironment();
    // The impersonated caller's DOMAIN\user as a malloc'ed narrow string, or null.
    static char* GetCallerUserName();
    // Puts "ReturnValue" (when `answer` is given) and "ResultCode" into the out-parameters.
    static int FillOutParams(IWbemClassObject* outParams, const char* answer, std::int32_t code);
    static HRESULT StatusToHResult(std::int32_t code);

  private:
    virtual ~CWMIPipewayProvider();

    HRESULT InitializeAsClient(IWbemServices* services, IWbemContext* context,
                               IWbemProviderInitSink* initSink);
    HRESULT ExecMethodAsClient(ClientImpersonation& client, const BSTR path, const BSTR method,
                               IWbemClassObject* inParams, IWbemObjectSink* sink);
    HRESULT EnumerateAsClient(IWbemObjectSink* sink);
    HRESULT GetInstanceForPath(const BSTR path, IWbemClassObject** instance);
    HRESULT NewInstance(pw::ComPtr<IWbemClassObject>& instance);

    std::atomic<ULONG> m_refCount{0};
    pw::ComPtr<IWbemServices> m_namespace;
    pw::ComPtr<IWbemClassObject> m_classDef;
    pw::ComPtr<IClassFactory> m_pathParserFactory;
    std::unique_ptr<CInstanceProviderHelper> m_providerHelper;
};
