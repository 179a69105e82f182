// The WMI provider object: the method execution, instance enumeration and lookup of the class
// ZOLM_OEM_DataAccessModule, and its start-up and teardown.
#pragma once

#include "pw/hresult.h"
#include "pw/resources.h"
#include "pw/text.h"
#include "pw/token_list.h"
#include "pw/unknown.h"
#include "pw/wbem_services.h"
#include "provider/impersonation.h"
#include "provider/module.h"
#include "provider/provider_helper.h"
#include "core/lifecycle.h"
#include "log/trace_log.h"
#include "pw/events.h"

#include <wbemidl.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

// "ZOLM_OEM_DataAccessModule"
extern const WCHAR* const g_className;

// Tells the administrator that the entry point `entry` stopped on a failure it did not
// expect: out of memory, or a standard exception (`hr` is the code it answered with).
void ReportUnexpectedFailure(const char* entry, HRESULT hr, const pw::FailureCodes& codes) noexcept;

// The one exception mapping around an entry point's body, with what it did not expect reported.
// The events the body queued are sent once it has returned: by then it has reverted to the
// provider's own identity, which the event log lets write, and holds no lock.
template <typename Body>
HRESULT GuardedEntry(const char* entry, const pw::FailureCodes& codes, Body&& body) noexcept {
    HRESULT hr = S_OK;
    try {
        hr = body();
    } catch (...) {
        hr = pw::CurrentExceptionToHResult(codes);
        ReportUnexpectedFailure(entry, hr, codes);
    }
    pw::events::SendQueued();
    return hr;
}

// How an operation of the provider starts, before it works as the client.
struct ClientOperation {
    bool usesSharedState = false;   // holds the DA modules and the exclusion store for its run
    const char* entry = nullptr;    // traced first
    const char* refused = nullptr;  // traced when the client cannot be impersonated
    const char* name = "CWMIPipewayProvider";  // the entry point, for the report of a failure
};

// An operation's entry from the ABI: the one exception mapping around the whole run, the
// shared state held and the entry traced as `operation` says, the client impersonated
// (ClientImpersonation::Enter's gate), then `work(client, shared)`, where `shared` is the
// generation of the shared state the operation holds (null when it holds none).
template <typename Work>
HRESULT ServeAsClient(const ClientOperation& operation, Work work) {
    return GuardedEntry(operation.name, pw::kWbemFailures, [&] {
        std::optional<pw::core::SharedStateUse> sharedState;
        if (operation.usesSharedState) {
            sharedState.emplace();
        }
        if (operation.entry != nullptr) {
            TraceLog("%s", operation.entry);
        }
        ClientImpersonation client;
        const HRESULT hr = client.Enter();
        if (FAILED(hr)) {
            if (operation.refused != nullptr) {
                TraceLog("%s", operation.refused);
            }
            return hr;
        }
        return work(client, sharedState ? &sharedState->State() : nullptr);
    });
}

// The operations of IWbemServices that it does not override answer WBEM_E_NOT_SUPPORTED.
class CWMIPipewayProvider : public pw::ComObject<pw::UnsupportedWbemServices, IWbemProviderInit> {
  public:
    CWMIPipewayProvider();

    // IWbemProviderInit
    HRESULT STDMETHODCALLTYPE Initialize(LPWSTR user, LONG flags, LPWSTR ns, LPWSTR locale,
                                         IWbemServices* services, IWbemContext* context,
                                         IWbemProviderInitSink* initSink) override;

    // IWbemServices: what the class serves.
    HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR path, LONG flags, IWbemContext* context,
                                             IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject* instance, LONG flags,
                                               IWbemContext* context,
                                               IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR path, LONG flags,
                                                  IWbemContext* context,
                                                  IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR filter, LONG flags,
                                                      IWbemContext* context,
                                                      IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR language, const BSTR query, LONG flags,
                                             IWbemContext* context, IWbemObjectSink* sink) override;
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
    ~CWMIPipewayProvider() override;

    HRESULT InitializeAsClient(IWbemServices* services, IWbemContext* context,
                               IWbemProviderInitSink* initSink);
    // ExecMethodAsClient's steps: the path names this class; the out-parameters of the method;
    // the request run with the provider's own identity and its answer put in `outParams`.
    HRESULT CheckClassPath(const BSTR path);
    HRESULT OutParamsFor(const BSTR method, pw::ComPtr<IWbemClassObject>& outParams);
    HRESULT RunRequest(ClientImpersonation& client, pw::core::SharedState& shared,
                       const std::string& userName, pw::TokenList tokens,
                       IWbemClassObject* outParams);
    HRESULT ExecMethodAsClient(ClientImpersonation& client, pw::core::SharedState& shared,
                               const BSTR path, const BSTR method, IWbemClassObject* inParams,
                               IWbemObjectSink* sink);
    HRESULT EnumerateAsClient(pw::core::SharedState& shared, IWbemObjectSink* sink);
    HRESULT GetInstanceForPath(const BSTR path, IWbemClassObject** instance);
    HRESULT NewInstance(pw::ComPtr<IWbemClassObject>& instance);

    const ModuleLockHold m_moduleLock;  // first: released after every other member
    pw::ComPtr<IWbemServices> m_namespace;
    pw::ComPtr<IWbemClassObject> m_classDef;
    pw::ComPtr<IClassFactory> m_pathParserFactory;
    std::unique_ptr<CInstanceProviderHelper> m_providerHelper;
};
