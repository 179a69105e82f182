// The client's impersonation level and the gate every client operation passes.
#pragma once

#include "pw/resources.h"

#include <windows.h>

// Stops impersonating on a way out of an operation. Should CoRevertToSelf fail, the thread's
// token is dropped all the same: a WMI thread must never go back to its pool as the client.
void RevertForGood(bool impersonating = true) noexcept;

// The calling client's impersonation level, 1 (anonymous) to 4 (delegate). Impersonates the
// client for the query and reverts before it returns.
HRESULT QueryImpersonationLevel(DWORD& level);

// The impersonation of one operation's client. Enter passes the gate; from then on every way
// out of the operation reverts, because the destructor does when the thread still
// impersonates.
class ClientImpersonation : private pw::NoCopy {
  public:
    ClientImpersonation() = default;
    ~ClientImpersonation() { RevertForGood(m_impersonating); }

    // The gate: level query (its failure), level below impersonate (WBEM_E_ACCESS_DENIED),
    // then CoImpersonateClient (its failure).
    HRESULT Enter();
    // Stops impersonating, if the thread does.
    HRESULT Revert();
    // Impersonates the client again.
    HRESULT Resume();
    bool IsImpersonating() const { return m_impersonating; }

  private:
    bool m_impersonating = false;
};
