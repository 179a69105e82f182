// The COM entry points of pwwbempath (.dll, .so), which serves CLSID_WbemDefPath with this
// project's object-path parser.
#include "wbempath/wbem_path.h"

#include <wbemidl.h>
#include <wmiutils.h>

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_WbemDefPath)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return pwwbempath::GetClassObject(riid, ppv);
}

STDAPI DllCanUnloadNow(void) {
    return pwwbempath::CanUnload() ? S_OK : S_FALSE;
}
