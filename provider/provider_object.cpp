#include "provider/provider_object.h"

#include "provider/module.h"
#include "pw/events.h"
#include "core/pipeway_provider_impl.h"
#include "core/lifecycle.h"

#include <exception>
#include <new>

const WCHAR* const g_className = L"ZOLM_OEM_DataAccessModule";

void ReportUnexpectedFailure(const char* entry, HRESULT hr,
                             const pw::FailureCodes& codes) noexcept {
    // A module the operation needed that cannot be used ends it too (codes.other in WMI's
    // family): that is reported where the module is loaded.
    if (hr != codes.outOfMemory && hr != codes.failed) {
        return;
    }
    pw::events::Report(pw::events::Event::kUnexpectedFailure,
                       {entry, hr == codes.outOfMemory ? "out of memory" : "an unexpected error"});
}

CWMIPipewayProvider::CWMIPipewayProvider() = default;

// Teardown of the process-wide state that every provider object shares: the DA modules and
// the exclusion store are dropped, and the next request loads them again. While calls run on
// other provider objects of the process, the drop waits for the last of them to leave. The
// module lock goes last (m_moduleLock, the first member): until then DllCanUnloadNow says no,
// so the library is not unloaded under this code while it still runs.
CWMIPipewayProvider::~CWMIPipewayProvider() {
    m_providerHelper.reset();
    pw::core::DropSharedState();
    m_pathParserFactory.reset();
    m_classDef.reset();
    m_namespace.reset();
}

HRESULT STDMETHODCALLTYPE CWMIPipewayProvider::PutInstanceAsync(IWbemClassObject*, LONG,
                                                                IWbemContext*, IWbemObjectSink*) {
    return pw::Hr(WBEM_E_PROVIDER_NOT_CAPABLE);
}

HRESULT STDMETHODCALLTYPE CWMIPipewayProvider::DeleteInstanceAsync(const BSTR, LONG, IWbemContext*,
                                                                   IWbemObjectSink*) {
    return pw::Hr(WBEM_E_PROVIDER_NOT_CAPABLE);
}

HRESULT STDMETHODCALLTYPE CWMIPipewayProvider::ExecQueryAsync(const BSTR, const BSTR, LONG,
                                                              IWbemContext*, IWbemObjectSink*) {
    return ServeAsClient({}, [](ClientImpersonation& client, pw::core::SharedState*) {
        client.Revert();
        return pw::Hr(WBEM_E_NOT_SUPPORTED);
    });
}
