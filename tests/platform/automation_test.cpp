// BSTR, VARIANT and SAFEARRAY ownership and shape, as the provider relies on them. Built for
// Windows too, where the same expectations run against the real API.
#include "tests/support/test_support.h"

#include <cstring>
#include <string>
#include <utility>

namespace {

// An object on the stack that counts its references and never frees itself.
class CountedObject final : public IUnknown {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (!IsEqualIID(riid, IID_IUnknown)) {
            *ppvObject = nullptr;
            return E_NOINTERFACE;
        }
        *ppvObject = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }
    ULONG Refs() const { return m_refs; }

  private:
    ULONG m_refs = 1;
};

std::wstring Text(BSTR text) {
    return std::wstring(text, SysStringLen(text));
}

// A string keeps its length, zero characters included; a null one counts as empty.
TEST(Bstr, KeepsItsLengthIncludingNuls) {
    BSTR plain = SysAllocString(L"ZOLM");
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(SysStringLen(plain), 4u);
    EXPECT_EQ(plain[4], L'\0');

    BSTR withNul = SysAllocStringLen(L"a\0b", 3);
    ASSERT_NE(withNul, nullptr);
    EXPECT_EQ(SysStringLen(withNul), 3u);
    EXPECT_EQ(Text(withNul), std::wstring(L"a\0b", 3));
    SysFreeString(withNul);
    SysFreeString(plain);

    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    SysFreeString(nullptr);
}

TEST(Variant, CopyDuplicatesStringsAndReferences) {
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocString(L"ReturnValue");
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    ASSERT_EQ(copy.vt, VT_BSTR);
    EXPECT_NE(copy.bstrVal, source.bstrVal);
    EXPECT_EQ(Text(copy.bstrVal), L"ReturnValue");

    CountedObject object;
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = VT_UNKNOWN;
    reference.punkVal = &object;
    // Copying over a string variant frees the string first.
    ASSERT_EQ(VariantCopy(&copy, &reference), S_OK);
    EXPECT_EQ(copy.punkVal, &object);
    EXPECT_EQ(object.Refs(), 2u);
    VariantClear(&copy);
    VariantClear(&source);
    EXPECT_EQ(object.Refs(), 1u);
}

// Clearing releases the interface a variant holds, or destroys its array with the references
// that array holds, and empties the variant.
TEST(Variant, ClearReleasesWhatTheVariantHolds) {
    CountedObject object;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_UNKNOWN;
    value.punkVal = &object;
    object.AddRef();
    EXPECT_EQ(VariantClear(&value), S_OK);
    EXPECT_EQ(object.Refs(), 1u);
    EXPECT_EQ(value.vt, VT_EMPTY);

    SAFEARRAY* array = SafeArrayCreateVector(VT_UNKNOWN, 0, 1);
    ASSERT_NE(array, nullptr);
    LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(array, &index, &object), S_OK);
    EXPECT_EQ(object.Refs(), 2u);
    value.vt = VT_ARRAY | VT_UNKNOWN;
    value.parray = array;
    EXPECT_EQ(VariantClear(&value), S_OK);
    EXPECT_EQ(object.Refs(), 1u);
}

// A one-dimensional array of strings, 1-based as a scripting client might send it.
class StringVector : public ::testing::Test {
  protected:
    void SetUp() override {
        m_array = SafeArrayCreateVector(VT_BSTR, 1, 3);
        ASSERT_NE(m_array, nullptr);
    }
    void TearDown() override { EXPECT_EQ(SafeArrayDestroy(m_array), S_OK); }

    SAFEARRAY* m_array = nullptr;
};

// One dimension with inclusive bounds; another dimension or an index outside the bounds is a
// bad index.
TEST_F(StringVector, HasOneDimensionWithInclusiveBounds) {
    VARTYPE vt = VT_EMPTY;
    LONG lower = 0;
    LONG upper = 0;
    EXPECT_EQ(SafeArrayGetDim(m_array), 1u);
    EXPECT_EQ(SafeArrayGetVartype(m_array, &vt), S_OK);
    EXPECT_EQ(vt, VT_BSTR);
    EXPECT_EQ(SafeArrayGetLBound(m_array, 1, &lower), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(m_array, 1, &upper), S_OK);
    EXPECT_EQ(lower, 1);
    EXPECT_EQ(upper, 3);
    EXPECT_EQ(SafeArrayGetLBound(m_array, 0, &lower), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(m_array, 2, &upper), DISP_E_BADINDEX);
    BSTR text = SysAllocString(L"x");
    for (LONG index : {0, 4}) {
        EXPECT_EQ(SafeArrayPutElement(m_array, &index, text), DISP_E_BADINDEX) << index;
    }
    SysFreeString(text);
}

TEST_F(StringVector, PutStoresACopyAndGetHandsOutACopy) {
    BSTR original = SysAllocString(L"daname=lumda");
    LONG index = 2;
    ASSERT_EQ(SafeArrayPutElement(m_array, &index, original), S_OK);
    original[0] = L'X';
    SysFreeString(original);

    BSTR first = nullptr;
    BSTR second = nullptr;
    ASSERT_EQ(SafeArrayGetElement(m_array, &index, &first), S_OK);
    ASSERT_EQ(SafeArrayGetElement(m_array, &index, &second), S_OK);
    EXPECT_EQ(Text(first), L"daname=lumda");
    EXPECT_NE(first, second);
    SysFreeString(first);
    SysFreeString(second);
}

TEST(SafeArray, EmptyVectorEndsBelowItsLowerBound) {
    SAFEARRAY* empty = SafeArrayCreateVector(VT_BSTR, 0, 0);
    ASSERT_NE(empty, nullptr);
    LONG upper = 0;
    EXPECT_EQ(SafeArrayGetUBound(empty, 1, &upper), S_OK);
    EXPECT_EQ(upper, -1);
    SafeArrayDestroy(empty);
}

TEST(SafeArray, TwoDimensionsKeepTheirBoundsInTheOrderGiven) {
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 10}};
    SAFEARRAY* grid = SafeArrayCreate(VT_I4, 2, bounds);
    ASSERT_NE(grid, nullptr);
    LONG lower = 0;
    LONG upper = 0;
    EXPECT_EQ(SafeArrayGetDim(grid), 2u);
    EXPECT_EQ(SafeArrayGetLBound(grid, 1, &lower), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(grid, 1, &upper), S_OK);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 1);
    EXPECT_EQ(SafeArrayGetLBound(grid, 2, &lower), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(grid, 2, &upper), S_OK);
    EXPECT_EQ(lower, 10);
    EXPECT_EQ(upper, 12);
    EXPECT_EQ(SafeArrayGetUBound(grid, 3, &upper), DISP_E_BADINDEX);

    // Indices name the dimensions in order: each pair names an element of its own.
    LONG indices[2] = {1, 11};
    LONG number = 42;
    ASSERT_EQ(SafeArrayPutElement(grid, indices, &number), S_OK);
    for (const auto& [first, second] : {std::pair{1, 11}, std::pair{0, 11}, std::pair{1, 10}}) {
        LONG at[2] = {first, second};
        LONG back = -1;
        ASSERT_EQ(SafeArrayGetElement(grid, at, &back), S_OK);
        EXPECT_EQ(back, first == 1 && second == 11 ? 42 : 0) << first << "," << second;
    }
    EXPECT_EQ(SafeArrayDestroy(grid), S_OK);
}

TEST(SafeArray, VariantElementsAreCopiedDeeply) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    ASSERT_NE(array, nullptr);
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(L"ResultCode");
    LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(array, &index, &value), S_OK);
    VARIANT back;
    VariantInit(&back);
    ASSERT_EQ(SafeArrayGetElement(array, &index, &back), S_OK);
    ASSERT_EQ(back.vt, VT_BSTR);
    EXPECT_NE(back.bstrVal, value.bstrVal);
    EXPECT_EQ(Text(back.bstrVal), L"ResultCode");
    VariantClear(&back);
    VariantClear(&value);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

}  // namespace
