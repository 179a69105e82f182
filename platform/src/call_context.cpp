#include <pw_call_context.h>

#include <string>

namespace {

struct CallContext {
    bool present = false;
    bool impersonating = false;
    std::wstring samName;
    DWORD level = 0;
};

thread_local CallContext t_context;

}  // namespace

extern "C" {

void WINAPI PwSetCallContext(const wchar_t* samName, DWORD impersonationLevel) {
    t_context.present = true;
    t_context.impersonating = false;
    t_context.samName = samName == nullptr ? L"" : samName;
    t_context.level = impersonationLevel;
}

void WINAPI PwClearCallContext(void) {
    t_context = CallContext{};
}

BOOL WINAPI PwIsImpersonating(void) {
    return t_context.impersonating ? TRUE : FALSE;
}

HRESULT WINAPI CoImpersonateClient(void) {
    if (!t_context.present) {
        return RPC_E_CALL_COMPLETE;
    }
    t_context.impersonating = true;
    return S_OK;
}

HRESULT WINAPI CoRevertToSelf(void) {
    if (!t_context.present) {
        return RPC_E_CALL_COMPLETE;
    }
    t_context.impersonating = false;
    return S_OK;
}

}  // extern "C"
