// Automation strings (BSTR), variants and safe arrays.
//
// A BSTR is allocated as a 32-bit byte count followed by the characters and a terminating NUL;
// the BSTR points at the first character. A safe array's descriptor is preceded by its element
// VARTYPE, as on Windows, and its elements lie in one block, the first dimension varying
// fastest.
#include "platform/src/no_throw.h"
#include "platform/src/fault.h"
#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>
#include <vector>

namespace {

constexpr std::size_t kVartypeSlot = 16;  // keeps the descriptor aligned for its pointer

std::uint32_t* LengthSlot(BSTR text) {
    return reinterpret_cast<std::uint32_t*>(text) - 1;
}

ULONG ElementSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR:
            return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_DATE:
            return 8;
        case VT_BSTR:
            return sizeof(BSTR);
        case VT_UNKNOWN:
            return sizeof(IUnknown*);
        case VT_VARIANT:
            return sizeof(VARIANT);
        default:
            return 0;
    }
}

// The types a variant may hold by value: those an array may hold, and a few more.
bool IsValidScalarType(VARTYPE vt) {
    return ElementSize(vt) != 0 || vt == VT_EMPTY || vt == VT_NULL || vt == VT_CY ||
           vt == VT_DISPATCH || vt == VT_DECIMAL;
}

USHORT FeaturesOf(VARTYPE vt) {
    switch (vt) {
        case VT_BSTR:
            return FADF_HAVEVARTYPE | FADF_BSTR;
        case VT_UNKNOWN:
            return FADF_HAVEVARTYPE | FADF_UNKNOWN;
        case VT_VARIANT:
            return FADF_HAVEVARTYPE | FADF_VARIANT;
        default:
            return FADF_HAVEVARTYPE;
    }
}

DWORD* VartypeSlot(SAFEARRAY* psa) {
    return reinterpret_cast<DWORD*>(psa) - 1;
}

VARTYPE ElementType(SAFEARRAY* psa) {
    return static_cast<VARTYPE>(*VartypeSlot(psa));
}

std::size_t ElementCount(const SAFEARRAY* psa) {
    std::size_t count = 1;
    for (USHORT i = 0; i < psa->cDims; ++i) {
        count *= psa->rgsabound[i].cElements;
    }
    return count;
}

// Allocates a descriptor whose bounds are already in stored order (last dimension first).
SAFEARRAY* Allocate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* storedBounds) {
    if (pwplatform::FaultHere(PW_FAULT_ALLOCATION)) {
        return nullptr;
    }
    const ULONG size = ElementSize(vt);
    if (size == 0 || cDims == 0 || cDims > std::numeric_limits<USHORT>::max()) {
        return nullptr;
    }
    std::size_t count = 1;
    for (UINT i = 0; i < cDims; ++i) {
        const std::size_t extent = storedBounds[i].cElements;
        if (extent != 0 && count > std::numeric_limits<std::size_t>::max() / size / extent) {
            return nullptr;
        }
        count *= extent;
    }
    const std::size_t descriptor = offsetof(SAFEARRAY, rgsabound) + cDims * sizeof(SAFEARRAYBOUND);
    auto* block = static_cast<unsigned char*>(std::calloc(1, kVartypeSlot + descriptor));
    if (block == nullptr) {
        return nullptr;
    }
    auto* psa = reinterpret_cast<SAFEARRAY*>(block + kVartypeSlot);
    if (count != 0) {
        psa->pvData = std::calloc(count, size);
        if (psa->pvData == nullptr) {
            std::free(block);
            return nullptr;
        }
    }
    *VartypeSlot(psa) = vt;
    psa->cDims = static_cast<USHORT>(cDims);
    psa->fFeatures = FeaturesOf(vt);
    psa->cbElements = size;
    std::memcpy(psa->rgsabound, storedBounds, cDims * sizeof(SAFEARRAYBOUND));
    return psa;
}

void ReleaseElements(SAFEARRAY* psa) {
    const std::size_t count = ElementCount(psa);
    const VARTYPE vt = ElementType(psa);
    for (std::size_t i = 0; i < count && psa->pvData != nullptr; ++i) {
        if (vt == VT_BSTR) {
            SysFreeString(static_cast<BSTR*>(psa->pvData)[i]);
        } else if (vt == VT_VARIANT) {
            VariantClear(&static_cast<VARIANT*>(psa->pvData)[i]);
        } else if (vt == VT_UNKNOWN && static_cast<IUnknown**>(psa->pvData)[i] != nullptr) {
            static_cast<IUnknown**>(psa->pvData)[i]->Release();
        }
    }
}

// rgIndices[k] indexes dimension k + 1, whose bound the descriptor keeps at cDims - 1 - k.
HRESULT ElementAddress(SAFEARRAY* psa, const LONG* rgIndices, void** address) {
    std::size_t offset = 0;
    std::size_t stride = 1;
    for (USHORT k = 0; k < psa->cDims; ++k) {
        const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - 1 - k];
        const std::int64_t position = static_cast<std::int64_t>(rgIndices[k]) - bound.lLbound;
        if (position < 0 || position >= static_cast<std::int64_t>(bound.cElements)) {
            return DISP_E_BADINDEX;
        }
        offset += static_cast<std::size_t>(position) * stride;
        stride *= bound.cElements;
    }
    *address = static_cast<unsigned char*>(psa->pvData) + offset * psa->cbElements;
    return S_OK;
}

BSTR CopyBstr(BSTR text) {
    return text == nullptr ? nullptr : SysAllocStringLen(text, SysStringLen(text));
}

// Copies one element of type vt from `from` (an element of an array) to `to`.
HRESULT CopyElement(VARTYPE vt, void* to, const void* from, ULONG size) {
    if (vt == VT_BSTR) {
        BSTR source = *static_cast<const BSTR*>(from);
        BSTR copy = CopyBstr(source);
        if (source != nullptr && copy == nullptr) {
            return E_OUTOFMEMORY;
        }
        *static_cast<BSTR*>(to) = copy;
    } else if (vt == VT_VARIANT) {
        auto* target = static_cast<VARIANT*>(to);
        VariantInit(target);
        return VariantCopy(target, const_cast<VARIANT*>(static_cast<const VARIANT*>(from)));
    } else if (vt == VT_UNKNOWN) {
        IUnknown* unknown = *static_cast<IUnknown* const*>(from);
        if (unknown != nullptr) {
            unknown->AddRef();
        }
        *static_cast<IUnknown**>(to) = unknown;
    } else {
        std::memcpy(to, from, size);
    }
    return S_OK;
}

// A deep copy of an array, as VariantCopy makes it.
HRESULT CopyArray(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    *ppsaOut = nullptr;
    if (psa == nullptr) {
        return S_OK;
    }
    const VARTYPE vt = ElementType(psa);
    SAFEARRAY* copy = Allocate(vt, psa->cDims, psa->rgsabound);
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    const std::size_t count = ElementCount(psa);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t offset = i * psa->cbElements;
        const HRESULT hr =
            CopyElement(vt, static_cast<unsigned char*>(copy->pvData) + offset,
                        static_cast<unsigned char*>(psa->pvData) + offset, psa->cbElements);
        if (FAILED(hr)) {
            SafeArrayDestroy(copy);
            return hr;
        }
    }
    *ppsaOut = copy;
    return S_OK;
}

// The bound of dimension nDim (from 1) for SafeArrayGetUBound and SafeArrayGetLBound, which
// answer through `answer`.
HRESULT FindBound(SAFEARRAY* psa, UINT nDim, const void* answer, const SAFEARRAYBOUND** bound) {
    if (psa == nullptr || answer == nullptr) {
        return E_INVALIDARG;
    }
    if (nDim == 0 || nDim > psa->cDims) {
        return DISP_E_BADINDEX;
    }
    *bound = &psa->rgsabound[psa->cDims - nDim];
    return S_OK;
}

}  // namespace

extern "C" {

BSTR WINAPI SysAllocString(const OLECHAR* psz) {
    return psz == nullptr ? nullptr : SysAllocStringLen(psz, static_cast<UINT>(std::wcslen(psz)));
}

BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    constexpr std::size_t kMaxChars =
        (std::numeric_limits<std::uint32_t>::max() - sizeof(OLECHAR)) / sizeof(OLECHAR);
    if (ui > kMaxChars || pwplatform::FaultHere(PW_FAULT_ALLOCATION)) {
        return nullptr;
    }
    const std::size_t bytes = std::size_t{ui} * sizeof(OLECHAR);
    auto* block =
        static_cast<std::uint32_t*>(std::malloc(sizeof(std::uint32_t) + bytes + sizeof(OLECHAR)));
    if (block == nullptr) {
        return nullptr;
    }
    block[0] = static_cast<std::uint32_t>(bytes);
    auto* text = reinterpret_cast<BSTR>(block + 1);
    if (strIn != nullptr) {
        std::memcpy(text, strIn, bytes);
    } else {
        std::memset(text, 0, bytes);
    }
    text[ui] = L'\0';
    return text;
}

void WINAPI SysFreeString(BSTR bstrString) {
    if (bstrString != nullptr) {
        std::free(LengthSlot(bstrString));
    }
}

UINT WINAPI SysStringLen(BSTR pbstr) {
    return pbstr == nullptr ? 0 : static_cast<UINT>(*LengthSlot(pbstr) / sizeof(OLECHAR));
}

void WINAPI VariantInit(VARIANTARG* pvarg) {
    if (pvarg != nullptr) {
        pvarg->vt = VT_EMPTY;
    }
}

HRESULT WINAPI VariantClear(VARIANTARG* pvarg) {
    if (pvarg == nullptr) {
        return E_INVALIDARG;
    }
    const VARTYPE vt = pvarg->vt;
    if ((vt & VT_BYREF) == 0) {
        if ((vt & VT_ARRAY) != 0) {
            const HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr)) {
                return hr;
            }
        } else if (!IsValidScalarType(vt)) {
            return DISP_E_BADVARTYPE;
        } else if (vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && pvarg->punkVal != nullptr) {
            pvarg->punkVal->Release();
        }
    }
    pvarg->vt = VT_EMPTY;
    return S_OK;
}

HRESULT WINAPI VariantCopy(VARIANTARG* pvargDest, VARIANTARG* pvargSrc) {
    if (pvargDest == nullptr || pvargSrc == nullptr) {
        return E_INVALIDARG;
    }
    if (pvargDest == pvargSrc) {
        return S_OK;
    }
    const VARTYPE vt = pvargSrc->vt;
    if ((vt & (VT_BYREF | VT_ARRAY)) == 0 && !IsValidScalarType(vt)) {
        return DISP_E_BADVARTYPE;
    }
    const HRESULT cleared = VariantClear(pvargDest);
    if (FAILED(cleared)) {
        return cleared;
    }
    VARIANT copy = *pvargSrc;
    if ((vt & VT_BYREF) == 0) {
        if ((vt & VT_ARRAY) != 0) {
            const HRESULT hr = CopyArray(pvargSrc->parray, &copy.parray);
            if (FAILED(hr)) {
                return hr;
            }
        } else if (vt == VT_BSTR) {
            copy.bstrVal = CopyBstr(pvargSrc->bstrVal);
            if (pvargSrc->bstrVal != nullptr && copy.bstrVal == nullptr) {
                return E_OUTOFMEMORY;
            }
        } else if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && copy.punkVal != nullptr) {
            copy.punkVal->AddRef();
        }
    }
    *pvargDest = copy;
    return S_OK;
}

SAFEARRAY* WINAPI SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    return pwplatform::NoThrow<SAFEARRAY*>(nullptr, 0, [&]() -> SAFEARRAY* {
        if (rgsabound == nullptr || cDims == 0 || cDims > std::numeric_limits<USHORT>::max()) {
            return nullptr;
        }
        // The caller lists the dimensions first to last; the descriptor keeps them last to first.
        std::vector<SAFEARRAYBOUND> stored(cDims);
        for (UINT i = 0; i < cDims; ++i) {
            stored[cDims - 1 - i] = rgsabound[i];
        }
        return Allocate(vt, cDims, stored.data());
    });
}

SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    const SAFEARRAYBOUND bound{cElements, lLbound};
    return Allocate(vt, 1, &bound);
}

HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* psa) {
    if (psa == nullptr) {
        return S_OK;
    }
    ReleaseElements(psa);
    std::free(psa->pvData);
    std::free(reinterpret_cast<unsigned char*>(psa) - kVartypeSlot);
    return S_OK;
}

UINT WINAPI SafeArrayGetDim(SAFEARRAY* psa) {
    return psa == nullptr ? 0 : psa->cDims;
}

HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    const SAFEARRAYBOUND* bound = nullptr;
    const HRESULT hr = FindBound(psa, nDim, plUbound, &bound);
    if (SUCCEEDED(hr)) {
        // Summed wide: a lower bound near the top of the range must not overflow on the way.
        *plUbound =
            static_cast<LONG>(static_cast<std::int64_t>(bound->lLbound) + bound->cElements - 1);
    }
    return hr;
}

HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    const SAFEARRAYBOUND* bound = nullptr;
    const HRESULT hr = FindBound(psa, nDim, plLbound, &bound);
    if (SUCCEEDED(hr)) {
        *plLbound = bound->lLbound;
    }
    return hr;
}

HRESULT WINAPI SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (psa == nullptr || rgIndices == nullptr || pv == nullptr) {
        return E_INVALIDARG;
    }
    void* element = nullptr;
    const HRESULT hr = ElementAddress(psa, rgIndices, &element);
    return FAILED(hr) ? hr : CopyElement(ElementType(psa), pv, element, psa->cbElements);
}

HRESULT WINAPI SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    const VARTYPE vt = psa == nullptr ? VARTYPE{VT_EMPTY} : ElementType(psa);
    // A BSTR element is given as the string itself, which may be null.
    if (psa == nullptr || rgIndices == nullptr || (pv == nullptr && vt != VT_BSTR)) {
        return E_INVALIDARG;
    }
    void* element = nullptr;
    HRESULT hr = ElementAddress(psa, rgIndices, &element);
    if (FAILED(hr)) {
        return hr;
    }
    if (vt == VT_BSTR) {
        BSTR copy = CopyBstr(static_cast<BSTR>(pv));
        if (pv != nullptr && copy == nullptr) {
            return E_OUTOFMEMORY;
        }
        SysFreeString(*static_cast<BSTR*>(element));
        *static_cast<BSTR*>(element) = copy;
    } else if (vt == VT_VARIANT) {
        hr = VariantCopy(static_cast<VARIANT*>(element), static_cast<VARIANT*>(pv));
    } else if (vt == VT_UNKNOWN) {
        auto* unknown = static_cast<IUnknown*>(pv);
        unknown->AddRef();
        IUnknown*& slot = *static_cast<IUnknown**>(element);
        if (slot != nullptr) {
            slot->Release();
        }
        slot = unknown;
    } else {
        std::memcpy(element, pv, psa->cbElements);
    }
    return hr;
}

HRESULT WINAPI SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (psa == nullptr || pvt == nullptr) {
        return E_INVALIDARG;
    }
    *pvt = ElementType(psa);
    return S_OK;
}

}  // extern "C"
