#include "provider/impersonation.h"

#include "pw/resources.h"

#include <wbemidl.h>

namespace {

HRESULT LastErrorResult() {
    return static_cast<HRESULT>(0x80070000u | GetLastError());
}

}  // namespace

HRESULT QueryImpersonationLevel(DWORD& level) {
    level = RPC_C_IMP_LEVEL_ANONYMOUS;
    HRESULT hr = CoImpersonateClient();
    if (FAILED(hr)) {
        return hr;
    }
    pw::UniqueHandle token;
    SECURITY_IMPERSONATION_LEVEL tokenLevel = SecurityAnonymous;
    DWORD returned = 0;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) {
        hr = LastErrorResult();
    } else if (!GetTokenInformation(token.get(), TokenImpersonationLevel, &tokenLevel,
                                    sizeof tokenLevel, &returned)) {
        hr = LastErrorResult();
    } else {
        switch (tokenLevel) {
            case SecurityAnonymous:
                level = RPC_C_IMP_LEVEL_ANONYMOUS;
                break;
            case SecurityIdentification:
                level = RPC_C_IMP_LEVEL_IDENTIFY;
                break;
            case SecurityImpersonation:
                level = RPC_C_IMP_LEVEL_IMPERSONATE;
                break;
            case SecurityDelegation:
                level = RPC_C_IMP_LEVEL_DELEGATE;
                break;
            default:
                hr = static_cast<HRESULT>(0x8007FFFF);
                break;
        }
    }
    RevertForGood();
    return hr;
}

void RevertForGood(bool impersonating) noexcept {
    if (impersonating && FAILED(CoRevertToSelf())) {
        RevertToSelf();
    }
}

HRESULT ClientImpersonation::Enter() {
    DWORD level = RPC_C_IMP_LEVEL_ANONYMOUS;
    HRESULT hr = QueryImpersonationLevel(level);
    if (FAILED(hr)) {
        return hr;
    }
    if (level < RPC_C_IMP_LEVEL_IMPERSONATE) {
        return pw::Hr(WBEM_E_ACCESS_DENIED);
    }
    return Resume();
}

HRESULT ClientImpersonation::Revert() {
    if (!m_impersonating) {
        return S_OK;
    }
    const HRESULT hr = CoRevertToSelf();
    if (SUCCEEDED(hr)) {
        m_impersonating = false;
    }
    return hr;
}

HRESULT ClientImpersonation::Resume() {
    const HRESULT hr = CoImpersonateClient();
    if (SUCCEEDED(hr)) {
        m_impersonating = true;
    }
    return hr;
}
