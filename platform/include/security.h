// POSIX stand-in for <security.h>: with SECURITY_WIN32 defined, the user-name call of
// <secext.h>.
//
// GetUserNameExW answers NameSamCompatible only: the client's name (DOMAIN\user) while the
// calling thread impersonates its client (see pw_call_context.h), otherwise the process's own
// account as HOST\login, the host name in upper case. Other formats fail with
// ERROR_NONE_MAPPED. With no buffer, or one too small, it fails with ERROR_MORE_DATA and sets
// *nSize to the characters needed including the terminator; on success *nSize is the length
// without it.
#if defined(SECURITY_WIN32) || defined(SECURITY_KERNEL)
#ifndef PW_SECURITY_H_SECEXT
#define PW_SECURITY_H_SECEXT

#include <windows.h>

typedef enum {
    NameSamCompatible = 2,
    NameUserPrincipal = 8,
} EXTENDED_NAME_FORMAT,
    *PEXTENDED_NAME_FORMAT;

extern "C" {
PW_PLATFORM_API BOOLEAN SEC_ENTRY GetUserNameExW(EXTENDED_NAME_FORMAT NameFormat,
                                                 LPWSTR lpNameBuffer, PULONG nSize);
}

#endif
#endif
