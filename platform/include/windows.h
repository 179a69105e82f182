// POSIX stand-in for the part of <windows.h> that WinPipeway uses.
//
// On Windows the real header is used and this folder is not on the include path. Everything
// declared here is implemented by the shared library pwplatform, so the provider, the host and
// the DA modules of one process share one set of per-thread state (last error, call context,
// thread locale) and one registry. As the real header does, this one brings in the registry
// (<winreg.h>), COM (<objbase.h>) and automation types (<oleauto.h>).
#pragma once

#include <windef.h>
#include <winerror.h>

// Code pages. The ANSI code page is UTF-8 here; wide strings are UTF-32 (WCHAR is wchar_t).
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_THREAD_ACP 3
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_COMPOSITECHECK 0x00000200
#define WC_NO_BEST_FIT_CHARS 0x00000400

// String comparison.
#define NORM_IGNORECASE 0x00000001
#define NORM_IGNORENONSPACE 0x00000002
#define NORM_IGNORESYMBOLS 0x00000004
#define SORT_DIGITSASNUMBERS 0x00000008
#define LINGUISTIC_IGNORECASE 0x00000010
#define LINGUISTIC_IGNOREDIACRITIC 0x00000020
#define SORT_STRINGSORT 0x00001000
#define NORM_IGNOREKANATYPE 0x00010000
#define NORM_IGNOREWIDTH 0x00020000
#define NORM_LINGUISTIC_CASING 0x08000000
#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3

// Locales.
#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_SYS_DEFAULT 0x02
#define SUBLANG_ENGLISH_US 0x01
#define SORT_DEFAULT 0x0
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
#define MAKELCID(lgid, srtid) ((DWORD)((((DWORD)((WORD)(srtid))) << 16) | ((DWORD)((WORD)(lgid)))))
#define LANGIDFROMLCID(lcid) ((WORD)(lcid))
#define LANG_SYSTEM_DEFAULT (MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT))
#define LANG_USER_DEFAULT (MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT))
#define LOCALE_SYSTEM_DEFAULT (MAKELCID(LANG_SYSTEM_DEFAULT, SORT_DEFAULT))
#define LOCALE_USER_DEFAULT (MAKELCID(LANG_USER_DEFAULT, SORT_DEFAULT))
#define LOCALE_NEUTRAL (MAKELCID(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), SORT_DEFAULT))

// Tokens.
#define TOKEN_QUERY (0x0008)

typedef enum _SECURITY_IMPERSONATION_LEVEL {
    SecurityAnonymous,
    SecurityIdentification,
    SecurityImpersonation,
    SecurityDelegation
} SECURITY_IMPERSONATION_LEVEL;

typedef enum _TOKEN_TYPE { TokenPrimary = 1, TokenImpersonation } TOKEN_TYPE;

typedef enum _TOKEN_INFORMATION_CLASS {
    TokenUser = 1,
    TokenGroups,
    TokenPrivileges,
    TokenOwner,
    TokenPrimaryGroup,
    TokenDefaultDacl,
    TokenSource,
    TokenType,
    TokenImpersonationLevel
} TOKEN_INFORMATION_CLASS;

extern "C" {

// Dynamic loading. LoadLibraryA appends ".so" to a name without extension and, for a bare name,
// searches the program's own folder and then each folder of "PATH" as it stands at the call.
PW_PLATFORM_API HMODULE WINAPI LoadLibraryA(LPCSTR fileName);
// With LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR the name must be a full path, as on Windows (a bare or
// relative name fails with ERROR_INVALID_PARAMETER); that file is loaded and nothing is
// searched. Without search flags it behaves as LoadLibraryA. `file` must be null.
#define LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR 0x00000100
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000
PW_PLATFORM_API HMODULE WINAPI LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags);
PW_PLATFORM_API FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
PW_PLATFORM_API BOOL WINAPI FreeLibrary(HMODULE module);
// module null: the running program. Returns the length copied, 0 on failure.
PW_PLATFORM_API DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);

// The event log. RegisterEventSourceW gives a handle for the source name; ReportEventW sends
// an event to syslog as "SOURCE[ID]: TYPE: STRING | STRING ..." or, when the environment
// variable "PIPEWAY_EVENTLOG" names a file, appends it there instead, as one line of
// tab-separated fields: source, event ID (the low 16 bits), "error" or "warning", then each string
// with tab, line feed and backslash written as \t, \n and \\.
#define EVENTLOG_ERROR_TYPE 0x0001
#define EVENTLOG_WARNING_TYPE 0x0002
#define EVENTLOG_INFORMATION_TYPE 0x0004
PW_PLATFORM_API HANDLE WINAPI RegisterEventSourceW(LPCWSTR server, LPCWSTR source);
PW_PLATFORM_API BOOL WINAPI ReportEventW(HANDLE source, WORD type, WORD category, DWORD eventId,
                                         void* userSid, WORD stringCount, DWORD dataSize,
                                         LPCWSTR* strings, void* data);
PW_PLATFORM_API BOOL WINAPI DeregisterEventSource(HANDLE source);

// Per-thread last error.
PW_PLATFORM_API DWORD WINAPI GetLastError(void);
PW_PLATFORM_API void WINAPI SetLastError(DWORD errorCode);

// Process and thread ids.
PW_PLATFORM_API DWORD WINAPI GetCurrentProcessId(void);
PW_PLATFORM_API DWORD WINAPI GetCurrentThreadId(void);

// Whether something stands at `path` (stat, following links): FILE_ATTRIBUTE_DIRECTORY for a
// folder, FILE_ATTRIBUTE_NORMAL for anything else, INVALID_FILE_ATTRIBUTES with the last error
// set for nothing (ERROR_FILE_NOT_FOUND) or a path that cannot be looked at.
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_NORMAL 0x00000080
PW_PLATFORM_API DWORD WINAPI GetFileAttributesA(LPCSTR path);

// Milliseconds since the system started (CLOCK_MONOTONIC_COARSE: it moves in steps of a few
// milliseconds, as Windows' moves in steps of 10 to 16). Tests stop it at a value and move it
// forward with PwStopTickCount and PwAdvanceTickCount (pw_clock.h) instead of waiting.
PW_PLATFORM_API ULONGLONG WINAPI GetTickCount64(void);

// Process environment, with the Windows size conventions: with a buffer too small (or none) the
// result is the size needed including the terminator; otherwise the length copied without it.
PW_PLATFORM_API DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
// value null removes the variable.
PW_PLATFORM_API BOOL WINAPI SetEnvironmentVariableA(LPCSTR name, LPCSTR value);

// Code-page conversion with the Windows size protocol: a size of 0 for the output asks for the
// size needed; an input length of -1 means "up to and including the terminator"; an output
// too small gives 0 and ERROR_INSUFFICIENT_BUFFER. CP_ACP and CP_UTF8 are both UTF-8.
// Invalid UTF-8 becomes U+FFFD (or fails with ERROR_NO_UNICODE_TRANSLATION under
// MB_ERR_INVALID_CHARS). A wide character that is no Unicode scalar value (a lone surrogate)
// becomes U+FFFD in CP_UTF8, as on Windows, and the default character '?' in CP_ACP.
// CP_UTF8 takes no flags but the ERR_INVALID_CHARS ones and no default character, as on
// Windows (ERROR_INVALID_FLAGS, ERROR_INVALID_PARAMETER).
PW_PLATFORM_API int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr,
                                               int cbMultiByte, LPWSTR lpWideCharStr,
                                               int cchWideChar);
PW_PLATFORM_API int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr,
                                               int cchWideChar, LPSTR lpMultiByteStr,
                                               int cbMultiByte, LPCCH lpDefaultChar,
                                               LPBOOL lpUsedDefaultChar);

// Compares as a string sort does, for every locale alike: symbols before digits before letters,
// letters alphabetically, then lower case before upper case. NORM_IGNORECASE (and
// LINGUISTIC_IGNORECASE) fold case for ASCII, Latin, Greek and Cyrillic letters. Returns
// CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN, or 0 with ERROR_INVALID_PARAMETER (null
// string) or ERROR_INVALID_FLAGS.
PW_PLATFORM_API int WINAPI CompareStringW(LCID Locale, DWORD dwCmpFlags, PCNZWCH lpString1,
                                          int cchCount1, PCNZWCH lpString2, int cchCount2);

// The calling thread's locale: 0x0409 until the thread sets another.
PW_PLATFORM_API LCID WINAPI GetThreadLocale(void);
PW_PLATFORM_API WINBOOL WINAPI SetThreadLocale(LCID Locale);

// Handles. GetCurrentThread gives the pseudo handle of the calling thread; CloseHandle
// closes token handles (and accepts the pseudo handle, as Windows does).
PW_PLATFORM_API HANDLE WINAPI GetCurrentThread(void);
PW_PLATFORM_API WINBOOL WINAPI CloseHandle(HANDLE hObject);

// Tokens. A thread has a token of its own only while it impersonates its client (see
// pw_call_context.h); otherwise OpenThreadToken fails with ERROR_NO_TOKEN. The token answers
// TokenType (TokenImpersonation) and TokenImpersonationLevel: the client's level 1..4 as
// SecurityAnonymous..SecurityDelegation (0..3).
PW_PLATFORM_API WINBOOL WINAPI OpenThreadToken(HANDLE ThreadHandle, DWORD DesiredAccess,
                                               WINBOOL OpenAsSelf, PHANDLE TokenHandle);
PW_PLATFORM_API WINBOOL WINAPI GetTokenInformation(HANDLE TokenHandle,
                                                   TOKEN_INFORMATION_CLASS TokenInformationClass,
                                                   LPVOID TokenInformation,
                                                   DWORD TokenInformationLength,
                                                   PDWORD ReturnLength);
// Drops the thread's impersonation token, whatever put it there: the thread stops
// impersonating its client.
PW_PLATFORM_API WINBOOL WINAPI RevertToSelf(void);

}  // extern "C"

#include <winreg.h>
#include <objbase.h>
#include <oleauto.h>
