// POSIX only: the client call context of the calling thread, which Windows keeps for a COM
// call and which the host sets here in its place. CoImpersonateClient and CoRevertToSelf act
// on it; nothing else of the process changes. Every client is taken to be a remote one that is
// not an administrator, the caller the Application log's default security keeps out: while the
// thread impersonates, RegisterEventSourceW and ReportEventW fail with ERROR_ACCESS_DENIED.
// While the thread impersonates, OpenThreadToken
// gives a token whose TokenImpersonationLevel is the client's level less one (1..4 become
// SecurityAnonymous..SecurityDelegation; a level outside 1..4 is passed on as it is, so that
// callers can be tried with bad levels), and GetUserNameExW answers the client's name.
#pragma once

#include <windows.h>

extern "C" {

// Makes the calling thread serve a call from the client `samName` (DOMAIN\user) at the given
// impersonation level (1 anonymous .. 4 delegate). The thread does not impersonate yet.
PW_PLATFORM_API void WINAPI PwSetCallContext(const wchar_t* samName, DWORD impersonationLevel);
// Ends the call context; the thread stops impersonating.
PW_PLATFORM_API void WINAPI PwClearCallContext(void);
// Whether the calling thread is impersonating its client now.
PW_PLATFORM_API BOOL WINAPI PwIsImpersonating(void);

}  // extern "C"
