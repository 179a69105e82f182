// Key values as the key list hands them out.
#include "wbempath/wbem_path_values.h"

#include <wbemidl.h>

#include <limits>

namespace pwwbempath {

ULONG CimTypeOf(const KeyValue& value) {
    switch (value.kind) {
        case KeyKind::kString:
            return CIM_STRING;
        case KeyKind::kSigned:
            return value.number >= std::numeric_limits<LONG>::min() &&
                           value.number <= std::numeric_limits<LONG>::max()
                       ? CIM_SINT32
                       : CIM_SINT64;
        case KeyKind::kUnsigned:
            return CIM_UINT64;
        case KeyKind::kBoolean:
            return CIM_BOOLEAN;
    }
    return CIM_EMPTY;
}

HRESULT ToVariant(const KeyValue& value, VARIANT* variant) {
    VariantInit(variant);
    switch (CimTypeOf(value)) {
        case CIM_STRING:
            variant->bstrVal =
                SysAllocStringLen(value.text.data(), static_cast<UINT>(value.text.size()));
            if (variant->bstrVal == nullptr) {
                return static_cast<HRESULT>(WBEM_E_OUT_OF_MEMORY);
            }
            variant->vt = VT_BSTR;
            break;
        case CIM_SINT32:
            variant->vt = VT_I4;
            variant->lVal = static_cast<LONG>(value.number);
            break;
        case CIM_SINT64:
            variant->vt = VT_I8;
            variant->llVal = value.number;
            break;
        case CIM_UINT64:
            variant->vt = VT_UI8;
            variant->ullVal = value.unsignedNumber;
            break;
        default:
            variant->vt = VT_BOOL;
            variant->boolVal = value.flag ? VARIANT_TRUE : VARIANT_FALSE;
            break;
    }
    return S_OK;
}

}  // namespace pwwbempath
