#include "tests/e2e/provider_fixture.h"

namespace pwtest {
namespace {

class Instances : public ProviderTest {
  protected:
    void SetUp() override {
        ProviderTest::SetUp();
        m_tarda = std::make_unique<TestDA>("tarda64");
        ASSERT_EQ(StartProvider(), S_OK);
    }
    void TearDown() override {
        ProviderTest::TearDown();
        m_tarda.reset();
    }
    std::unique_ptr<TestDA> m_tarda;
};

TEST_F(Instances, EnumerationGivesTheOneInstanceWithItsAddresses) {
    m_tarda->Answer(
        "<Obj><IPAddress>10.1.2.3</IPAddress><GLAddress>fd00::7</GLAddress>"
        "<SLAddress>fe80::7</SLAddress></Obj>");
    const CallResult result = Enumerate();
    EXPECT_EQ(result.hr, S_OK);
    ASSERT_EQ(result.objects, 1u);
    EXPECT_EQ(result.instanceId, std::optional<std::wstring>(L"ZOLM_OEM_DataAccessModule1"));
    EXPECT_EQ(result.ipv4, std::optional<std::wstring>(L"10.1.2.3"));
    EXPECT_EQ(result.ipv6, std::optional<std::wstring>(L"fd00::7;fe80::7"));
    ASSERT_EQ(result.statuses.size(), 1u);
    EXPECT_EQ(result.statuses[0].flags, static_cast<LONG>(WBEM_STATUS_COMPLETE));
    EXPECT_EQ(result.statuses[0].result, S_OK);
    // The address queries run as the client.
    EXPECT_EQ(m_tarda->ImpersonatingCalls(), 2);

    // An answer without the tags gives empty addresses.
    m_tarda->Answer("<Obj/>");
    const CallResult empty = Enumerate();
    EXPECT_EQ(empty.hr, S_OK);
    EXPECT_EQ(empty.ipv4, std::optional<std::wstring>(L""));
    EXPECT_EQ(empty.ipv6, std::optional<std::wstring>(L""));
}

// At the identify level an enumeration logs only its entry line, a lookup its own failure.
TEST_F(Instances, IdentifyLevelIsRefusedWithItsLogLine) {
    WriteFile(LogFile(), "");  // only this call's lines
    const CallResult listed = Enumerate(kIdentify);
    EXPECT_EQ(listed.hr, Hr(WBEM_E_ACCESS_DENIED));
    EXPECT_EQ(listed.objects, 0u);
    EXPECT_EQ(Log().Messages(),
              std::vector<std::string>{"--> CWMIPipewayProvider::CreateInstanceEnumAsync\n"});
    EXPECT_EQ(Lookup(kInstancePath, kIdentify).hr, Hr(WBEM_E_ACCESS_DENIED));
    EXPECT_TRUE(Log().Has(
        "Pwy: CWMIPipewayProvider::GetObjectAsync GetCurrentImpersonationlevel Failed : &d\n"));
}

TEST_F(Instances, MissingAddressModuleFailsTheEnumeration) {
    m_tarda.reset();
    SetLibraryDirectory(DAFolder("missing").string());
    const CallResult result = Enumerate();
    EXPECT_EQ(result.hr, Hr(WBEM_E_PROVIDER_FAILURE));
    EXPECT_EQ(result.objects, 0u);
    EXPECT_TRUE(result.statuses.empty());
}

TEST_F(Instances, LookupByAnyKeyValueGivesTheInstanceWithoutAddresses) {
    for (const WCHAR* path : {kInstancePath, L"ZOLM_OEM_DataAccessModule.InstanceID=\"anything\"",
                              L"zolm_oem_dataaccessmodule.InstanceID=\"x\"",
                              L"\\\\.\\root\\cimv2:ZOLM_OEM_DataAccessModule.InstanceID=\"x\""}) {
        const CallResult result = Lookup(path);
        EXPECT_EQ(result.hr, S_OK);
        ASSERT_EQ(result.objects, 1u);
        EXPECT_EQ(result.instanceId, std::optional<std::wstring>(L"ZOLM_OEM_DataAccessModule1"));
        EXPECT_EQ(result.ipv4, std::nullopt);
        ASSERT_EQ(result.statuses.size(), 1u);
    }
    EXPECT_EQ(m_tarda->SendCount(), 0);
}

TEST_F(Instances, LookupByClassPathOrOtherClassIsAnInvalidParameter) {
    for (const WCHAR* path :
         {L"ZOLM_OEM_DataAccessModule", L"Win32_Process.Handle=\"1\"", L"not a path ..."}) {
        const CallResult result = Lookup(path);
        EXPECT_EQ(result.hr, Hr(WBEM_E_INVALID_PARAMETER));
        EXPECT_EQ(result.objects, 0u);
        EXPECT_TRUE(result.statuses.empty());
    }
}

struct UnsupportedCase {
    const char* what;
    HRESULT (*call)(IWbemServices*);
    HRESULT expected;
};

// Cases print by name: their padding bytes are never set.
void PrintTo(const UnsupportedCase& c, std::ostream* os) {
    *os << c.what;
}

class Unsupported : public Instances, public ::testing::WithParamInterface<UnsupportedCase> {};

TEST_P(Unsupported, AnswersAtOnce) {
    host::ClientCall client(L"HOST\\alice", kImpersonate);
    EXPECT_EQ(GetParam().call(m_provider.get()), GetParam().expected);
    EXPECT_FALSE(host::ClientCall::ThreadIsImpersonating());
}

// The table is laid out by hand, a call to a line.
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, Unsupported,
    ::testing::Values(
        UnsupportedCase{"GetObject", [](IWbemServices* p) { return p->GetObject(nullptr, 0, nullptr, nullptr, nullptr); },
                        Hr(WBEM_E_NOT_SUPPORTED)},
        UnsupportedCase{"PutInstanceAsync", [](IWbemServices* p) { return p->PutInstanceAsync(nullptr, 0, nullptr, nullptr); },
                        Hr(WBEM_E_PROVIDER_NOT_CAPABLE)},
        UnsupportedCase{"DeleteInstanceAsync", [](IWbemServices* p) { return p->DeleteInstanceAsync(nullptr, 0, nullptr, nullptr); },
                        Hr(WBEM_E_PROVIDER_NOT_CAPABLE)},
        UnsupportedCase{"ExecQueryAsync", [](IWbemServices* p) { return p->ExecQueryAsync(nullptr, nullptr, 0, nullptr, nullptr); },
                        Hr(WBEM_E_NOT_SUPPORTED)},
        UnsupportedCase{"ExecMethod", [](IWbemServices* p) { return p->ExecMethod(nullptr, nullptr, 0, nullptr, nullptr, nullptr, nullptr); },
                        Hr(WBEM_E_NOT_SUPPORTED)}),
    CaseName());
// clang-format on

}  // namespace
}  // namespace pwtest
