#include "host/client_call.h"

#include "pw/resources.h"
#include "pw/unknown.h"

#include <objidl.h>

namespace host {

namespace {

// The server security object of a call: impersonating the client means the current account
// impersonating itself at the client's level.
class ServerSecurity : public pw::ComObject<IServerSecurity> {
  public:
    explicit ServerSecurity(SECURITY_IMPERSONATION_LEVEL level) : m_level(level) {}

    HRESULT STDMETHODCALLTYPE QueryBlanket(DWORD* authnSvc, DWORD* authzSvc,
                                           OLECHAR** serverPrincName, DWORD* authnLevel,
                                           DWORD* impLevel, void** privs,
                                           DWORD* capabilities) override {
        if (authnSvc != nullptr)
            *authnSvc = RPC_C_AUTHN_WINNT;
        if (authzSvc != nullptr)
            *authzSvc = RPC_C_AUTHZ_NONE;
        if (serverPrincName != nullptr)
            *serverPrincName = nullptr;
        if (authnLevel != nullptr)
            *authnLevel = RPC_C_AUTHN_LEVEL_PKT_PRIVACY;
        if (impLevel != nullptr)
            *impLevel = static_cast<DWORD>(m_level) + 1;
        if (privs != nullptr)
            *privs = nullptr;
        if (capabilities != nullptr)
            *capabilities = EOAC_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ImpersonateClient() override {
        if (!ImpersonateSelf(m_level)) {
            return HRESULT_FROM_WIN32(GetLastError());
        }
        m_impersonating = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RevertToSelf() override {
        m_impersonating = false;
        return ::RevertToSelf() ? S_OK : HRESULT_FROM_WIN32(GetLastError());
    }
    BOOL STDMETHODCALLTYPE IsImpersonating() override { return m_impersonating ? TRUE : FALSE; }

  private:
    ~ServerSecurity() override = default;
    SECURITY_IMPERSONATION_LEVEL m_level;
    bool m_impersonating = false;
};

struct CallState {
    pw::ComPtr<ServerSecurity> security;
    IUnknown* previous = nullptr;
    bool comInitialized = false;
};

}  // namespace

ClientCall::ClientCall(const std::wstring&, DWORD level) {
    auto* state = new CallState;
    state->comInitialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    const DWORD tokenLevel = level == 0 ? 0 : level - 1;
    state->security = pw::ComPtr<ServerSecurity>(
        new ServerSecurity(static_cast<SECURITY_IMPERSONATION_LEVEL>(tokenLevel)));
    CoSwitchCallContext(state->security.get(), &state->previous);
    m_state = state;
}

ClientCall::~ClientCall() {
    auto* state = static_cast<CallState*>(m_state);
    IUnknown* ours = nullptr;
    CoSwitchCallContext(state->previous, &ours);
    ::RevertToSelf();
    state->security.reset();
    if (state->comInitialized) {
        CoUninitialize();
    }
    delete state;
}

bool ClientCall::ThreadIsImpersonating() {
    pw::UniqueHandle token;
    return OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()) != FALSE;
}

}  // namespace host
