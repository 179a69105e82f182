// POSIX stand-in for <oleauto.h>, <oaidl.h> and <wtypes.h>: automation strings (BSTR),
// variants and safe arrays, with the Windows rules for who owns what.
//
// A BSTR is a wide string whose length is kept just before its first character, so it may
// hold NULs; a null BSTR counts as the empty string. VariantClear frees what a variant owns
// (string, array, interface reference) and VariantCopy makes deep copies. Safe arrays may
// have several dimensions; elements of VT_BSTR, VT_VARIANT and VT_UNKNOWN arrays are owned
// by the array: SafeArrayPutElement stores a copy (or a new reference), SafeArrayGetElement
// hands out a copy, SafeArrayDestroy frees them.
#pragma once

#include <unknwn.h>

using BSTR = OLECHAR*;
using VARTYPE = unsigned short;
using VARIANT_BOOL = short;

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000
};

typedef struct tagSAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
} SAFEARRAYBOUND;

// rgsabound holds cDims entries, the last dimension first, as on Windows.
typedef struct tagSAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    PVOID pvData;
    SAFEARRAYBOUND rgsabound[1];
} SAFEARRAY;

#define FADF_HAVEVARTYPE 0x80
#define FADF_BSTR 0x100
#define FADF_UNKNOWN 0x200
#define FADF_VARIANT 0x800

struct tagVARIANT;
typedef struct tagVARIANT VARIANT;

struct tagVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        VARIANT_BOOL boolVal;
        BSTR bstrVal;
        IUnknown* punkVal;
        SAFEARRAY* parray;
        ULONGLONG ullVal;
    };
};
using VARIANTARG = VARIANT;

extern "C" {

PW_PLATFORM_API BSTR WINAPI SysAllocString(const OLECHAR* psz);
// psz null gives a string of ui NULs.
PW_PLATFORM_API BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui);
PW_PLATFORM_API void WINAPI SysFreeString(BSTR bstrString);
PW_PLATFORM_API UINT WINAPI SysStringLen(BSTR pbstr);

PW_PLATFORM_API void WINAPI VariantInit(VARIANTARG* pvarg);
PW_PLATFORM_API HRESULT WINAPI VariantClear(VARIANTARG* pvarg);
PW_PLATFORM_API HRESULT WINAPI VariantCopy(VARIANTARG* pvargDest, VARIANTARG* pvargSrc);

// Element types: VT_BSTR, VT_VARIANT, VT_UNKNOWN and the fixed-size scalars (VT_I1 .. VT_UI8,
// VT_INT, VT_UINT, VT_R4, VT_R8, VT_BOOL, VT_ERROR, VT_DATE).
PW_PLATFORM_API SAFEARRAY* WINAPI SafeArrayCreate(VARTYPE vt, UINT cDims,
                                                  SAFEARRAYBOUND* rgsabound);
PW_PLATFORM_API SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
PW_PLATFORM_API HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* psa);
PW_PLATFORM_API UINT WINAPI SafeArrayGetDim(SAFEARRAY* psa);
// nDim counts from 1; a dimension the array lacks gives DISP_E_BADINDEX.
PW_PLATFORM_API HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
PW_PLATFORM_API HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
// rgIndices holds one index per dimension, the first dimension first.
PW_PLATFORM_API HRESULT WINAPI SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
PW_PLATFORM_API HRESULT WINAPI SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
PW_PLATFORM_API HRESULT WINAPI SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);

}  // extern "C"
