#include "host/client_call.h"

#include <pw_call_context.h>

namespace host {

ClientCall::ClientCall(const std::wstring& samName, DWORD level) {
    PwSetCallContext(samName.c_str(), level);
}

ClientCall::~ClientCall() {
    PwClearCallContext();
}

bool ClientCall::ThreadIsImpersonating() {
    return PwIsImpersonating() != FALSE;
}

}  // namespace host
