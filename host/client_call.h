// The client call that the WMI service would be serving on this thread: who the client is and
// the impersonation level it allows. The provider sees it through CoImpersonateClient and the
// thread's token.
#pragma once

#include "pw/resources.h"

#include <windows.h>

#include <string>

namespace host {

class ClientCall : private pw::NoCopy {
  public:
    // `samName` is the client's DOMAIN\user; `level` an RPC_C_IMP_LEVEL_* value (1..4).
    // On Windows the client is the current account impersonating itself at that level (the
    // name is not used).
    ClientCall(const std::wstring& samName, DWORD level);
    ~ClientCall();

    // Whether the calling thread impersonates its client now.
    static bool ThreadIsImpersonating();

  private:
    // The Windows build keeps its call-context switch here; POSIX keeps the context per thread.
    [[maybe_unused]] void* m_state = nullptr;
};

}  // namespace host
