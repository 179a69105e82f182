// POSIX stand-in for <winreg.h>: a registry kept in one text file.
//
// The environment variable "PIPEWAY_REGISTRY" names the file, and every call reads it anew;
// without the variable, or without the file, the registry is empty. Writes rewrite the file
// at once. Without the variable there is nowhere to write, and writes fail with
// ERROR_ACCESS_DENIED. Key and value names compare without regard to case, as on Windows.
// The file format is described at the top of platform/src/registry.cpp.
//
// ANSI strings are UTF-8 here. A REG_SZ value keeps the bytes it was given (with its
// terminator, when the caller counted it, as Windows does).
#pragma once

#include <windef.h>
#include <winerror.h>

using REGSAM = ACCESS_MASK;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))

#define READ_CONTROL (0x00020000)
#define SYNCHRONIZE (0x00100000)
#define STANDARD_RIGHTS_READ (READ_CONTROL)
#define STANDARD_RIGHTS_WRITE (READ_CONTROL)
#define STANDARD_RIGHTS_ALL (0x001F0000)

#define KEY_QUERY_VALUE (0x0001)
#define KEY_SET_VALUE (0x0002)
#define KEY_CREATE_SUB_KEY (0x0004)
#define KEY_ENUMERATE_SUB_KEYS (0x0008)
#define KEY_NOTIFY (0x0010)
#define KEY_CREATE_LINK (0x0020)
#define KEY_WOW64_RES (0x0300)
#define KEY_READ                                                                      \
    ((STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & \
     (~SYNCHRONIZE))
#define KEY_WRITE ((STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & (~SYNCHRONIZE))
#define KEY_ALL_ACCESS                                                             \
    ((STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | \
      KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK) &                     \
     (~SYNCHRONIZE))

#define REG_OPTION_NON_VOLATILE (0x00000000)
#define REG_CREATED_NEW_KEY (0x00000001)
#define REG_OPENED_EXISTING_KEY (0x00000002)

#define REG_NONE (0)
#define REG_SZ (1)
#define REG_EXPAND_SZ (2)
#define REG_DWORD (4)
#define REG_QWORD (11)

extern "C" {

PW_PLATFORM_API LONG WINAPI RegCloseKey(HKEY hKey);
PW_PLATFORM_API LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved,
                                            LPSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                                            LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                            PHKEY phkResult, LPDWORD lpdwDisposition);
PW_PLATFORM_API LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
PW_PLATFORM_API LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions,
                                          REGSAM samDesired, PHKEY phkResult);
// lpData null: only the type and the size are asked for. A buffer too small gives
// ERROR_MORE_DATA and the size needed.
PW_PLATFORM_API LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved,
                                             LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
PW_PLATFORM_API LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved,
                                           DWORD dwType, CONST BYTE* lpData, DWORD cbData);
// lpSubKey null: the key's own values and subkeys go, the key stays.
PW_PLATFORM_API LONG WINAPI RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey);

}  // extern "C"
