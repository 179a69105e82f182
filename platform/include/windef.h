// POSIX stand-in for the basic Windows types (<windef.h>, <winnt.h>, <basetsd.h>).
//
// The types have the sizes the Windows ABI gives them, except that WCHAR is the platform's
// wchar_t (32 bits here), so wide literals (L"...") work as they do on Windows. Every other
// stand-in header builds on this one; none of them includes <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define SEC_ENTRY
#define PW_PLATFORM_API __attribute__((visibility("default")))

#define CONST const

using BOOL = int;
using WINBOOL = int;
using BOOLEAN = unsigned char;
using boolean = unsigned char;
using byte = unsigned char;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using USHORT = std::uint16_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using LONG_PTR = std::intptr_t;
using ULONG_PTR = std::uintptr_t;
using HRESULT = std::int32_t;
using WCHAR = wchar_t;
using OLECHAR = WCHAR;
using ACCESS_MASK = DWORD;
using LCID = DWORD;

using PVOID = void*;
using LPVOID = void*;
using LPBYTE = BYTE*;
using PDWORD = DWORD*;
using LPDWORD = DWORD*;
using PULONG = ULONG*;
using LPBOOL = BOOL*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPCCH = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPCWCH = const WCHAR*;
using PCNZWCH = const WCHAR*;
using LPCOLESTR = const OLECHAR*;

using HANDLE = void*;
using PHANDLE = HANDLE*;

struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
using FARPROC = std::intptr_t (*)();

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
