// This project's WMI object-path parser: a COM object with IWbemPath and IWbemPathKeyList, and
// its class factory. Written once against the Windows API, it serves CLSID_WbemDefPath from the
// library pwwbempath: on POSIX the platform's COM runtime loads it from beside itself, as
// Windows loads its own parser; on Windows the test runs register it under Wine, whose own
// parser lacks IWbemPathKeyList::GetKey2.
//
// It reads a path (wbem_path_syntax.cpp) and answers its class name, its GetInfo flags and its
// keys (wbem_path_values.cpp); a key value is a quoted string (\" and \\ escaped), a decimal
// integer or TRUE/FALSE. Methods the system does not call answer E_NOTIMPL (the yes/no
// questions FALSE). Where Windows' own behaviour is not pinned down, the choices are stated at
// the method in wbem_path.cpp.
#pragma once

#include <windows.h>

namespace pwwbempath {

// The parser's class object (IClassFactory), as DllGetClassObject hands it out.
HRESULT GetClassObject(REFIID riid, void** ppv);

// Whether no parser object, key list or factory lives and no LockServer lock is held.
bool CanUnload();

}  // namespace pwwbempath
