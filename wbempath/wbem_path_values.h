// Key values of a parsed object path, and how the key list hands them out.
#pragma once

#include <windows.h>

#include <string>

namespace pwwbempath {

enum class KeyKind { kString, kSigned, kUnsigned, kBoolean };

struct KeyValue {
    KeyKind kind = KeyKind::kString;
    std::wstring text;             // kString
    LONGLONG number = 0;           // kSigned
    ULONGLONG unsignedNumber = 0;  // kUnsigned (beyond the signed 64-bit range)
    bool flag = false;             // kBoolean
};

// The value's apparent CIM type: CIM_STRING, CIM_SINT32 (integers that fit), CIM_SINT64,
// CIM_UINT64 or CIM_BOOLEAN.
ULONG CimTypeOf(const KeyValue& value);

// The value as VT_BSTR, VT_I4, VT_I8, VT_UI8 or VT_BOOL; WBEM_E_OUT_OF_MEMORY when the string
// cannot be allocated.
HRESULT ToVariant(const KeyValue& value, VARIANT* variant);

}  // namespace pwwbempath
