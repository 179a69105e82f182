#include "tests/support/test_support.h"

#include "core/address_queries.h"
#include "core/pipeway_provider_impl.h"

#include <cstdlib>
#include <memory>

using PipewayMgtData::PPImplStatus;
using pwtest::DAFolder;
using pwtest::TestDA;
using pwtest::UseLibraryFolder;

namespace {

struct FreeBlock {
    void operator()(char* block) const { std::free(block); }
};
using Text = std::unique_ptr<char, FreeBlock>;

class AddressQueries : public ::testing::Test {
  protected:
    void SetUp() override {
        UseLibraryFolder(DAFolder("good"));
        m_tarda = std::make_unique<TestDA>("tarda64");
    }
    void TearDown() override {
        PipewayProviderImpl::CleanUpDAInfo();
        m_tarda.reset();
    }
    std::unique_ptr<TestDA> m_tarda;
};

struct AddressCase {
    const char* what;
    char* (*query)();  // the text it gives is the caller's to free
    std::string answer;
    std::string expected;
};

class AddressTable : public AddressQueries, public ::testing::WithParamInterface<AddressCase> {};

TEST_P(AddressTable, CutsTheAddressesOutOfTheAnswer) {
    m_tarda->Answer(GetParam().answer);
    const Text address(GetParam().query());
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(std::string(address.get()), GetParam().expected);
}

// The IPv4 query gives its one address; the IPv6 query joins both.
constexpr auto kIPv4 = static_cast<char* (*)()>(pw::core::GetIPv4Address);
constexpr auto kIPv6 = static_cast<char* (*)()>(pw::core::GetIPv6Addresses);

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, AddressTable,
    ::testing::Values(
        AddressCase{"Dotted", kIPv4, "<Obj><IPAddress>192.168.0.7</IPAddress></Obj>", "192.168.0.7"},
        AddressCase{"BlanksKept", kIPv4, "<IPAddress> 10.0.0.1 </IPAddress>", " 10.0.0.1 "},
        AddressCase{"NoTag", kIPv4, "<Obj>10.0.0.1</Obj>", ""},
        AddressCase{"NoClosingTag", kIPv4, "<IPAddress>10.0.0.1", "10.0.0.1"},
        AddressCase{"Empty", kIPv4, "", ""},
        AddressCase{"CutAt254", kIPv4, "<IPAddress>" + std::string(300, '1') + "</IPAddress>",
                    std::string(254, '1')},
        AddressCase{"Both", kIPv6, "<GLAddress>fd00::1</GLAddress><SLAddress>fe80::1</SLAddress>",
                    "fd00::1;fe80::1"},
        AddressCase{"FirstOnly", kIPv6, "<GLAddress>fd00::1</GLAddress>", "fd00::1"},
        AddressCase{"SecondOnly", kIPv6, "<SLAddress>fe80::1</SLAddress>", ";fe80::1"},
        AddressCase{"Neither", kIPv6, "<Obj/>", ""},
        AddressCase{"First255StaysWholeAndSecondIsDropped", kIPv6,
                    "<GLAddress>" + std::string(255, 'a') + "</GLAddress><SLAddress>b</SLAddress>",
                    std::string(255, 'a') + ";"},
        AddressCase{"SecondCutAt255InAll", kIPv6,
                    "<GLAddress>" + std::string(250, 'a') + "</GLAddress><SLAddress>" +
                        std::string(20, 'b') + "</SLAddress>",
                    std::string(250, 'a') + ";" + std::string(4, 'b')},
        AddressCase{"FirstCutAt255", kIPv6, "<GLAddress>" + std::string(300, 'a') + "</GLAddress>",
                    std::string(255, 'a')}),
    pwtest::CaseName());
// clang-format on

// Each query carries its three tokens; a null answer gives empty texts.
TEST_F(AddressQueries, QueriesCarryTheirThreeTokensAndNullGivesEmptyTexts) {
    m_tarda->AnswerNull();
    const Text ipv4(pw::core::GetIPv4Address());
    EXPECT_EQ(m_tarda->LastArgs(),
              (std::vector<std::string>{"velcmd=getchildlist", "ons=Root", "byobjtype=322"}));
    const Text ipv6(pw::core::GetIPv6Addresses());
    EXPECT_EQ(m_tarda->LastArgs(),
              (std::vector<std::string>{"velcmd=getchildlist", "ons=Root", "byobjtype=417"}));
    EXPECT_STREQ(ipv4.get(), "");
    EXPECT_STREQ(ipv6.get(), "");
}

TEST_F(AddressQueries, MissingModuleRaisesTheLoaderFailure) {
    m_tarda.reset();
    UseLibraryFolder(DAFolder("missing"));
    try {
        std::free(pw::core::GetIPv4Address());
        FAIL() << "no failure raised";
    } catch (const PPImplStatus& failure) {
        EXPECT_EQ(failure.code, 105);
        EXPECT_EQ(failure.text, "Unable to load the DA");
    }
}

}  // namespace
