#include "provider/provider_helper.h"

#include <wmiutils.h>

#include <new>
#include <vector>

namespace {

constexpr LCID kEnglishUnitedStates = 0x0409;
constexpr ULONG kLengthOverflow = 0xFFFFFFFF;
constexpr HRESULT kArithmeticOverflow = static_cast<HRESULT>(0x80070216);

}  // namespace

HRESULT PathPartBuffer(const BSTR path, std::vector<WCHAR>& buffer, ULONG& size) {
    const ULONG pathLength = SysStringLen(path);
    if (pathLength == kLengthOverflow) {
        return kArithmeticOverflow;
    }
    size = pathLength + 1;
    try {
        buffer.assign(size, L'\0');
    } catch (const std::bad_alloc&) {
        return pw::Hr(WBEM_E_OUT_OF_MEMORY);
    }
    return S_OK;
}

HRESULT CProviderHelper::ValidateInstancePath(IClassFactory* pathParserFactory, const BSTR path,
                                              const BSTR className, ULONGLONG requiredInfo) {
    if (pathParserFactory == nullptr) {
        return pw::Hr(WBEM_E_INVALID_PARAMETER);
    }
    pw::ComPtr<IWbemPath> parser;
    if (FAILED(pathParserFactory->CreateInstance(nullptr, IID_IWbemPath, parser.put_void())) ||
        !parser) {
        return pw::Hr(WBEM_E_INVALID_PARAMETER);
    }
    HRESULT hr = parser->SetText(WBEMPATH_CREATE_ACCEPT_ALL, path);
    if (FAILED(hr)) {
        return hr;
    }
    std::vector<WCHAR> pathClass;
    ULONG size = 0;
    hr = PathPartBuffer(path, pathClass, size);
    if (FAILED(hr)) {
        return hr;
    }
    hr = parser->GetClassName(&size, pathClass.data());
    if (FAILED(hr)) {
        return hr;
    }
    if (CompareStringW(kEnglishUnitedStates, NORM_IGNORECASE, className, -1, pathClass.data(),
                       -1) != CSTR_EQUAL) {
        return pw::Hr(WBEM_E_NOT_FOUND);
    }
    ULONGLONG info = 0;
    hr = parser->GetInfo(0, &info);
    if (FAILED(hr)) {
        return hr;
    }
    return (info & requiredInfo) != 0 ? pw::Hr(WBEM_S_NO_ERROR)
                                      : pw::Hr(WBEM_E_INVALID_OBJECT_PATH);
}

CInstanceProviderHelper::CInstanceProviderHelper(IWbemServices* ns, IWbemContext* context) {
    if (ns == nullptr) {
        return;
    }
    pw::UniqueBstr extendedStatus(L"__ExtendedStatus");
    if (extendedStatus) {
        ns->GetObject(extendedStatus.get(), 0, context, m_extendedStatusClass.put(), nullptr);
    }
}
