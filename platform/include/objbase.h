// POSIX stand-in for <objbase.h> and <combaseapi.h>: the COM runtime calls the system makes.
//
// CoGetClassObject and CoCreateInstance serve the platform's own object-path parser
// (CLSID_WbemDefPath, see <wmiutils.h>) and, for other classes, in-process servers registered
// in the file-backed registry (CLSID\{clsid}\InprocServer32), as COM activates them; a class
// that is not registered gives REGDB_E_CLASSNOTREG. The client call context that
// CoImpersonateClient and CoRevertToSelf act on is set by the host (pw_call_context.h).
#pragma once

#include <unknwn.h>

typedef enum tagCLSCTX { CLSCTX_INPROC_SERVER = 0x1 } CLSCTX;

typedef enum tagCOINIT { COINIT_APARTMENTTHREADED = 0x2, COINIT_MULTITHREADED = 0x0 } COINIT;

#define RPC_C_AUTHN_LEVEL_PKT_PRIVACY 6

#define RPC_C_IMP_LEVEL_ANONYMOUS 1
#define RPC_C_IMP_LEVEL_IDENTIFY 2
#define RPC_C_IMP_LEVEL_IMPERSONATE 3
#define RPC_C_IMP_LEVEL_DELEGATE 4

extern "C" {

// Per thread, as on Windows: the first call gives S_OK, later calls with the same model
// S_FALSE, a call with the other model RPC_E_CHANGED_MODE. Nothing else depends on it.
PW_PLATFORM_API HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
PW_PLATFORM_API void WINAPI CoUninitialize(void);

PW_PLATFORM_API HRESULT WINAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext,
                                                LPVOID pvReserved, REFIID riid, LPVOID* ppv);
PW_PLATFORM_API HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter,
                                                DWORD dwClsContext, REFIID riid, LPVOID* ppv);

PW_PLATFORM_API HRESULT WINAPI CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);

// Impersonation of the calling client. Without a client call context on the thread (see
// pw_call_context.h) both fail with RPC_E_CALL_COMPLETE, as on Windows.
PW_PLATFORM_API HRESULT WINAPI CoImpersonateClient(void);
PW_PLATFORM_API HRESULT WINAPI CoRevertToSelf(void);

}  // extern "C"
