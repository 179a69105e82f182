// The object-path parser, reached as the provider reaches it: CoGetClassObject for
// CLSID_WbemDefPath. On POSIX that is the parser inside pwplatform; on Windows (under Wine) it
// is the same parser served by pwwbempath.dll, which tests/wbempath/register-in-prefix must have
// registered in the Wine prefix.
#include "tests/support/test_support.h"

#include "pw/resources.h"

#include <wbemidl.h>
#include <wmiutils.h>

#include <string>
#include <vector>

namespace {

constexpr HRESULT kInvalidParameter = static_cast<HRESULT>(WBEM_E_INVALID_PARAMETER);
constexpr HRESULT kBufferTooSmall = static_cast<HRESULT>(WBEM_E_BUFFER_TOO_SMALL);
constexpr HRESULT kNotAvailable = static_cast<HRESULT>(WBEM_E_NOT_AVAILABLE);

class WbemPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_initialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        ASSERT_EQ(CoGetClassObject(CLSID_WbemDefPath, CLSCTX_INPROC_SERVER, nullptr,
                                   IID_IClassFactory, m_factory.put_void()),
                  S_OK);
        ASSERT_EQ(m_factory->CreateInstance(nullptr, IID_IWbemPath, m_path.put_void()), S_OK);
    }
    void TearDown() override {
        m_path.reset();
        m_factory.reset();
        if (m_initialized) {
            CoUninitialize();
        }
    }

    ULONGLONG Info() {
        ULONGLONG info = 0;
        EXPECT_EQ(m_path->GetInfo(0, &info), S_OK);
        return info;
    }

    bool m_initialized = false;
    pw::ComPtr<IClassFactory> m_factory;
    pw::ComPtr<IWbemPath> m_path;
};

TEST_F(WbemPathTest, ParserReadsKeyValues) {
    ASSERT_EQ(m_path->SetText(WBEMPATH_CREATE_ACCEPT_ALL, L"Cls.K=\"v\""), S_OK);
    pw::ComPtr<IWbemPathKeyList> keys;
    ASSERT_EQ(m_path->GetKeyList(keys.put()), S_OK);
    wchar_t name[8] = {};
    ULONG size = 8;
    VARIANT value;
    VariantInit(&value);
    ULONG type = 0;
    const HRESULT hr = keys->GetKey2(0, 0, &size, name, &value, &type);
    ASSERT_NE(hr, E_NOTIMPL)
        << "CLSID_WbemDefPath is not this project's parser (Wine's own lacks GetKey2): "
           "register pwwbempath.dll with tests/wbempath/register-in-prefix";
    EXPECT_EQ(hr, S_OK);
    VariantClear(&value);
}

// What a key must read back as.
struct KeyExpect {
    const wchar_t* name;
    VARTYPE vt;
    const wchar_t* text;  // VT_BSTR
    LONGLONG number;      // VT_I4, VT_I8, VT_BOOL (0 or 1)
    ULONG cimType;
};

struct PathCase {
    const char* what;
    const wchar_t* path;
    const wchar_t* className;
    ULONGLONG infoSet;
    ULONGLONG infoClear;
    std::vector<KeyExpect> keys;  // of an instance path; a class path has no key list
};

constexpr ULONGLONG kClass = WBEMPATH_INFO_IS_CLASS_REF;
constexpr ULONGLONG kInstance = WBEMPATH_INFO_IS_INST_REF;
constexpr ULONGLONG kSingleton = WBEMPATH_INFO_IS_SINGLETON;
constexpr ULONGLONG kMachine = WBEMPATH_INFO_HAS_MACHINE_NAME;
constexpr ULONGLONG kLocal = WBEMPATH_INFO_ANON_LOCAL_MACHINE;
constexpr ULONGLONG kHadServer = WBEMPATH_INFO_PATH_HAD_SERVER;
constexpr ULONGLONG kImplied = WBEMPATH_INFO_HAS_IMPLIED_KEY;

class PathTable : public WbemPathTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(PathTable, ReadsClassInfoAndKeys) {
    const PathCase& c = GetParam();
    ASSERT_EQ(m_path->SetText(WBEMPATH_CREATE_ACCEPT_ALL, c.path), S_OK);
    wchar_t className[64] = {};
    ULONG size = 64;
    ASSERT_EQ(m_path->GetClassName(&size, className), S_OK);
    EXPECT_STREQ(className, c.className);
    const ULONGLONG info = Info();
    EXPECT_EQ(info & c.infoSet, c.infoSet) << std::hex << info;
    EXPECT_EQ(info & c.infoClear, 0u) << std::hex << info;

    pw::ComPtr<IWbemPathKeyList> keys;
    const HRESULT listed = m_path->GetKeyList(keys.put());
    if ((c.infoSet & kClass) != 0) {
        EXPECT_EQ(listed, kNotAvailable);
        return;
    }
    ASSERT_EQ(listed, S_OK);
    ULONG count = 0;
    ASSERT_EQ(keys->GetCount(&count), S_OK);
    ASSERT_EQ(count, c.keys.size());
    for (ULONG i = 0; i < count; ++i) {
        const KeyExpect& expected = c.keys[i];
        wchar_t name[64] = {};
        ULONG nameSize = 64;
        VARIANT value;
        VariantInit(&value);
        ULONG cimType = 0;
        ASSERT_EQ(keys->GetKey2(i, 0, &nameSize, name, &value, &cimType), S_OK);
        EXPECT_STREQ(name, expected.name);
        EXPECT_EQ(cimType, expected.cimType);
        ASSERT_EQ(value.vt, expected.vt) << "key " << i;
        switch (value.vt) {
            case VT_BSTR:
                EXPECT_EQ(std::wstring(value.bstrVal, SysStringLen(value.bstrVal)), expected.text);
                break;
            case VT_I4:
                EXPECT_EQ(value.lVal, expected.number);
                break;
            case VT_I8:
                EXPECT_EQ(value.llVal, expected.number);
                break;
            case VT_UI8:
                EXPECT_EQ(value.ullVal, 18446744073709551615ull);
                break;
            case VT_BOOL:
                EXPECT_EQ(value.boolVal, expected.number != 0 ? VARIANT_TRUE : VARIANT_FALSE);
                break;
            default:
                ADD_FAILURE() << "unexpected type " << value.vt;
        }
        VariantClear(&value);
    }
}

const wchar_t kModule[] = L"ZOLM_OEM_DataAccessModule";
const KeyExpect kStringV = {L"K", VT_BSTR, L"v", 0, CIM_STRING};

// The table is laid out by hand, a case to a line or two.
// clang-format off
const PathCase kPaths[] = {
    {"ClassPath", kModule, kModule, kClass | kLocal, kInstance | kMachine | kHadServer, {}},
    {"OneStringKey", L"ZOLM_OEM_DataAccessModule.InstanceID=\"ZOLM_OEM_DataAccessModule1\"",
     kModule, kInstance, kClass | kSingleton,
     {{L"InstanceID", VT_BSTR, L"ZOLM_OEM_DataAccessModule1", 0, CIM_STRING}}},
    {"TwoKeys", L"Cls.A=\"x\",B=5", L"Cls", kInstance, kClass,
     {{L"A", VT_BSTR, L"x", 0, CIM_STRING}, {L"B", VT_I4, nullptr, 5, CIM_SINT32}}},
    {"Singleton", L"Cls=@", L"Cls", kInstance | kSingleton, kClass, {}},
    {"EscapedString", L"Cls.K=\"a\\\"b\\\\c\"", L"Cls", kInstance, 0,
     {{L"K", VT_BSTR, L"a\"b\\c", 0, CIM_STRING}}},
    {"ColonInAString", L"Cls.K=\"a:b\"", L"Cls", kInstance, 0,
     {{L"K", VT_BSTR, L"a:b", 0, CIM_STRING}}},
    {"NegativeNumber", L"Cls.K=-7", L"Cls", kInstance, 0, {{L"K", VT_I4, nullptr, -7, CIM_SINT32}}},
    {"NumberBeyond32Bits", L"Cls.K=4294967296", L"Cls", kInstance, 0,
     {{L"K", VT_I8, nullptr, 4294967296LL, CIM_SINT64}}},
    {"NumberBeyond63Bits", L"Cls.K=18446744073709551615", L"Cls", kInstance, 0,
     {{L"K", VT_UI8, nullptr, 0, CIM_UINT64}}},
    {"Boolean", L"Cls.K=TRUE", L"Cls", kInstance, 0, {{L"K", VT_BOOL, nullptr, 1, CIM_BOOLEAN}}},
    {"ImpliedKey", L"Cls=\"v\"", L"Cls", kInstance | kImplied, kClass,
     {{L"", VT_BSTR, L"v", 0, CIM_STRING}}},
    {"Namespace", L"root\\cimv2:Cls.K=\"v\"", L"Cls", kInstance | kLocal, kHadServer, {kStringV}},
    {"Server", L"\\\\server\\root\\cimv2:Cls.K=\"v\"", L"Cls", kInstance | kMachine | kHadServer,
     kLocal, {kStringV}},
    {"LocalServer", L"\\\\.\\root:Cls", L"Cls", kClass | kLocal | kHadServer, kMachine, {}},
    {"ForwardSlashes", L"//server/root/cimv2:Cls.K=\"v\"", L"Cls", kInstance | kMachine, 0,
     {kStringV}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Forms, PathTable, ::testing::ValuesIn(kPaths), pwtest::CaseName());

struct BadPath {
    const char* what;
    const wchar_t* path;
};

class BadPaths : public WbemPathTest, public ::testing::WithParamInterface<BadPath> {};

TEST_P(BadPaths, AreRefused) {
    EXPECT_EQ(m_path->SetText(WBEMPATH_CREATE_ACCEPT_ALL, GetParam().path), kInvalidParameter);
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, BadPaths,
    ::testing::Values(BadPath{"Null", nullptr}, BadPath{"DotWithoutKeys", L"Cls."},
                      BadPath{"KeyWithoutValue", L"Cls.K"}, BadPath{"EmptyValue", L"Cls.K="},
                      BadPath{"UnterminatedString", L"Cls.K=\"v"}, BadPath{"NoClass", L".K=\"v\""},
                      BadPath{"ClassStartsWithDigit", L"1Cls"}, BadPath{"Blanks", L"Cls.K = \"v\""},
                      BadPath{"BareWord", L"Cls.K=abc"}, BadPath{"TrailingComma", L"Cls.K=\"v\","},
                      BadPath{"TextAfterValue", L"Cls.K=\"v\"x"},
                      BadPath{"DuplicateKey", L"Cls.K=1,k=2"},
                      BadPath{"NamespaceWithoutClass", L"root\\cimv2:"},
                      BadPath{"EmptyServer", L"\\\\\\root:Cls"},
                      BadPath{"NumberTooLarge", L"Cls.K=18446744073709551616"}),
    pwtest::CaseName());

TEST_F(WbemPathTest, ClassNameSizeProtocol) {
    ASSERT_EQ(m_path->SetText(WBEMPATH_CREATE_ACCEPT_ALL, L"Cls.K=1"), S_OK);
    ULONG size = 0;
    EXPECT_EQ(m_path->GetClassName(&size, nullptr), kBufferTooSmall);
    EXPECT_EQ(size, 4u);
    wchar_t name[4] = {};
    size = 3;
    EXPECT_EQ(m_path->GetClassName(&size, name), kBufferTooSmall);
    EXPECT_EQ(size, 4u);
    size = 4;
    EXPECT_EQ(m_path->GetClassName(&size, name), S_OK);
    EXPECT_STREQ(name, L"Cls");
}

TEST_F(WbemPathTest, NamespacePathHasNoClass) {
    ASSERT_EQ(m_path->SetText(WBEMPATH_CREATE_ACCEPT_ALL, L"\\\\.\\root\\cimv2"), S_OK);
    EXPECT_NE(Info() & WBEMPATH_INFO_SERVER_NAMESPACE_ONLY, 0u);
    wchar_t name[16] = {};
    ULONG size = 16;
    EXPECT_EQ(m_path->GetClassName(&size, name), kInvalidParameter);
    pw::ComPtr<IWbemPathKeyList> keys;
    EXPECT_EQ(m_path->GetKeyList(keys.put()), kNotAvailable);
}

class KeyListTest : public WbemPathTest {
  protected:
    void SetUp() override {
        WbemPathTest::SetUp();
        ASSERT_EQ(m_path->SetText(WBEMPATH_CREATE_ACCEPT_ALL, L"Cls.Name=\"x\\\"y\",Id=12"), S_OK);
        ASSERT_EQ(m_path->GetKeyList(m_keys.put()), S_OK);
    }
    void TearDown() override {
        m_keys.reset();
        WbemPathTest::TearDown();
    }
    pw::ComPtr<IWbemPathKeyList> m_keys;
};

// A name buffer too small gives the size it needs, an index beyond the keys is refused, and
// the list keeps its path alive.
TEST_F(KeyListTest, ReadsByIndexWithTheSizeProtocol) {
    wchar_t name[8] = {};
    ULONG size = 2;
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(m_keys->GetKey2(0, 0, &size, name, &value, nullptr), kBufferTooSmall);
    EXPECT_EQ(size, 5u);
    size = 0;
    EXPECT_EQ(m_keys->GetKey2(1, 0, &size, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(size, 3u);
    size = 8;
    EXPECT_EQ(m_keys->GetKey2(2, 0, &size, name, &value, nullptr), kInvalidParameter);
    EXPECT_EQ(value.vt, VT_EMPTY);

    m_path.reset();
    ULONG count = 0;
    EXPECT_EQ(m_keys->GetCount(&count), S_OK);
    EXPECT_EQ(count, 2u);
}

TEST_F(WbemPathTest, FactoryRefusesAggregationAndForeignInterfaces) {
    pw::ComPtr<IWbemPath> other;
    EXPECT_EQ(m_factory->CreateInstance(m_path.get(), IID_IWbemPath, other.put_void()),
              CLASS_E_NOAGGREGATION);
    pw::ComPtr<IWbemPathKeyList> keys;
    EXPECT_EQ(m_path->QueryInterface(IID_IWbemPathKeyList, keys.put_void()), E_NOINTERFACE);
    EXPECT_EQ(keys.get(), nullptr);
}

// CoCreateInstance makes a parser of the registered class, and of no other.
TEST_F(WbemPathTest, CoCreateInstanceMakesAParserOfTheRegisteredClassOnly) {
    pw::ComPtr<IWbemPath> created;
    ASSERT_EQ(CoCreateInstance(CLSID_WbemDefPath, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemPath,
                               created.put_void()),
              S_OK);
    EXPECT_EQ(created->SetText(WBEMPATH_CREATE_ACCEPT_ALL, L"Cls=@"), S_OK);
    const CLSID unknown = {
        0x6a1b2c3d, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};
    pw::ComPtr<IClassFactory> factory;
    EXPECT_EQ(CoGetClassObject(unknown, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               factory.put_void()),
              REGDB_E_CLASSNOTREG);
}

}  // namespace
