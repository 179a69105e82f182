// POSIX stand-in for <winerror.h>: the Win32 error codes and HRESULTs the system meets, with the
// values Windows gives them.
#pragma once

#include <windef.h>

// Win32 error codes (GetLastError, registry results).
#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_BAD_LENGTH 24L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_CALL_NOT_IMPLEMENTED 120L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_ENVVAR_NOT_FOUND 203L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_ARITHMETIC_OVERFLOW 534L
#define ERROR_NOACCESS 998L
#define ERROR_INVALID_FLAGS 1004L
#define ERROR_NO_TOKEN 1008L
#define ERROR_BADDB 1009L
#define ERROR_BADKEY 1010L
#define ERROR_CANTOPEN 1011L
#define ERROR_CANTREAD 1012L
#define ERROR_CANTWRITE 1013L
#define ERROR_REGISTRY_IO_FAILED 1016L
#define ERROR_KEY_DELETED 1018L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#define ERROR_NONE_MAPPED 1332L
#define ERROR_CANT_OPEN_ANONYMOUS 1347L

#define FACILITY_WIN32 7
#define FACILITY_ITF 4
#define SEVERITY_SUCCESS 0
#define SEVERITY_ERROR 1

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define HRESULT_CODE(hr) ((hr)&0xFFFF)
#define HRESULT_FACILITY(hr) (((hr) >> 16) & 0x1fff)
#define HRESULT_SEVERITY(hr) (((hr) >> 31) & 0x1)
#define MAKE_HRESULT(sev, fac, code)                                         \
    ((HRESULT)(((unsigned long)(sev) << 31) | ((unsigned long)(fac) << 16) | \
               ((unsigned long)(code))))
#define HRESULT_FROM_WIN32(x)           \
    ((HRESULT)(x) <= 0 ? ((HRESULT)(x)) \
                       : ((HRESULT)(((x)&0x0000FFFF) | (FACILITY_WIN32 << 16) | 0x80000000)))

// HRESULTs.
#define S_OK static_cast<HRESULT>(0)
#define S_FALSE static_cast<HRESULT>(1)
#define E_UNEXPECTED static_cast<HRESULT>(0x8000FFFF)
#define E_NOTIMPL static_cast<HRESULT>(0x80004001)
#define E_NOINTERFACE static_cast<HRESULT>(0x80004002)
#define E_POINTER static_cast<HRESULT>(0x80004003)
#define E_ABORT static_cast<HRESULT>(0x80004004)
#define E_FAIL static_cast<HRESULT>(0x80004005)
#define E_PENDING static_cast<HRESULT>(0x8000000A)
#define E_ACCESSDENIED static_cast<HRESULT>(0x80070005)
#define E_HANDLE static_cast<HRESULT>(0x80070006)
#define E_OUTOFMEMORY static_cast<HRESULT>(0x8007000E)
#define E_INVALIDARG static_cast<HRESULT>(0x80070057)
#define E_NOT_SUFFICIENT_BUFFER HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)

#define CLASS_E_NOAGGREGATION static_cast<HRESULT>(0x80040110)
#define CLASS_E_CLASSNOTAVAILABLE static_cast<HRESULT>(0x80040111)
#define REGDB_E_READREGDB static_cast<HRESULT>(0x80040150)
#define REGDB_E_WRITEREGDB static_cast<HRESULT>(0x80040151)
#define REGDB_E_CLASSNOTREG static_cast<HRESULT>(0x80040154)
#define CO_E_NOTINITIALIZED static_cast<HRESULT>(0x800401F0)
#define CO_E_CLASSSTRING static_cast<HRESULT>(0x800401F3)
#define CO_E_APPNOTFOUND static_cast<HRESULT>(0x800401F5)
#define CO_E_DLLNOTFOUND static_cast<HRESULT>(0x800401F8)
#define CO_E_ERRORINDLL static_cast<HRESULT>(0x800401F9)
#define CO_E_OBJNOTCONNECTED static_cast<HRESULT>(0x800401FD)
#define CO_E_SERVER_EXEC_FAILURE static_cast<HRESULT>(0x80080005)

#define RPC_E_INVALID_PARAMETER static_cast<HRESULT>(0x80010010)
#define RPC_E_FAULT static_cast<HRESULT>(0x80010104)
#define RPC_E_SERVERFAULT static_cast<HRESULT>(0x80010105)
#define RPC_E_CHANGED_MODE static_cast<HRESULT>(0x80010106)
#define RPC_E_DISCONNECTED static_cast<HRESULT>(0x80010108)
#define RPC_E_WRONG_THREAD static_cast<HRESULT>(0x8001010E)
#define RPC_E_CALL_COMPLETE static_cast<HRESULT>(0x80010117)
#define RPC_E_TOO_LATE static_cast<HRESULT>(0x80010119)
#define RPC_E_ACCESS_DENIED static_cast<HRESULT>(0x8001011B)
#define RPC_E_NO_CONTEXT static_cast<HRESULT>(0x8001011E)

#define DISP_E_MEMBERNOTFOUND static_cast<HRESULT>(0x80020003)
#define DISP_E_TYPEMISMATCH static_cast<HRESULT>(0x80020005)
#define DISP_E_UNKNOWNNAME static_cast<HRESULT>(0x80020006)
#define DISP_E_BADVARTYPE static_cast<HRESULT>(0x80020008)
#define DISP_E_OVERFLOW static_cast<HRESULT>(0x8002000A)
#define DISP_E_BADINDEX static_cast<HRESULT>(0x8002000B)
#define DISP_E_ARRAYISLOCKED static_cast<HRESULT>(0x8002000D)
