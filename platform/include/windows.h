// POSIX stand-in for the part of <windows.h> that WinPipeway uses.
//
// On Windows the real header is used and this folder is not on the include path. Everything
// declared here is implemented by the shared library pwplatform, so the provider, the host and
// the DA modules of one process share one set of per-thread state (last error, call context).
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define PW_PLATFORM_API __attribute__((visibility("default")))

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using HRESULT = std::int32_t;
using CHAR = char;
using WCHAR = wchar_t;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;

struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
using FARPROC = std::intptr_t (*)();

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Error codes, with the values Windows gives them.
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_ENVVAR_NOT_FOUND 203L

// HRESULTs, with the values Windows gives them.
#define S_OK static_cast<HRESULT>(0)
#define S_FALSE static_cast<HRESULT>(1)
#define E_FAIL static_cast<HRESULT>(0x80004005)
#define E_INVALIDARG static_cast<HRESULT>(0x80070057)
#define RPC_E_CALL_COMPLETE static_cast<HRESULT>(0x80010117)
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

extern "C" {

// Dynamic loading. LoadLibraryA appends ".so" to a name without extension and, for a bare name,
// searches the program's own folder and then each folder of "PATH" as it stands at the call.
PW_PLATFORM_API HMODULE WINAPI LoadLibraryA(LPCSTR fileName);
PW_PLATFORM_API FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
PW_PLATFORM_API BOOL WINAPI FreeLibrary(HMODULE module);
// module null: the running program. Returns the length copied, 0 on failure.
PW_PLATFORM_API DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);

// Per-thread last error.
PW_PLATFORM_API DWORD WINAPI GetLastError(void);
PW_PLATFORM_API void WINAPI SetLastError(DWORD errorCode);

// Process and thread ids.
PW_PLATFORM_API DWORD WINAPI GetCurrentProcessId(void);
PW_PLATFORM_API DWORD WINAPI GetCurrentThreadId(void);

// Process environment, with the Windows size conventions: with a buffer too small (or none) the
// result is the size needed including the terminator; otherwise the length copied without it.
PW_PLATFORM_API DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
// value null removes the variable.
PW_PLATFORM_API BOOL WINAPI SetEnvironmentVariableA(LPCSTR name, LPCSTR value);

// Impersonation of the calling client. Without a client call context on the thread (see
// pw_call_context.h) both fail with RPC_E_CALL_COMPLETE, as on Windows.
PW_PLATFORM_API HRESULT WINAPI CoImpersonateClient(void);
PW_PLATFORM_API HRESULT WINAPI CoRevertToSelf(void);

}  // extern "C"
