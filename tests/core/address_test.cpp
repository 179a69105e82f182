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
    std::string answer;
    std::string expected;
};

class IPv4Table : public AddressQueries, public ::testing::WithParamInterface<AddressCase> {};

TEST_P(IPv4Table, CutsTheAddressOutOfTheAnswer) {
    m_tarda->Answer(GetParam().answer);
    const Text address(pw::core::GetIPv4Address());
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(std::string(address.get()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, IPv4Table,
    ::testing::Values(
        AddressCase{"Dotted", "<Obj><IPAddress>192.168.0.7</IPAddress></Obj>", "192.168.0.7"},
        AddressCase{"BlanksKept", "<IPAddress> 10.0.0.1 </IPAddress>", " 10.0.0.1 "},
        AddressCase{"NoTag", "<Obj>10.0.0.1</Obj>", ""},
        AddressCase{"NoClosingTag", "<IPAddress>10.0.0.1", "10.0.0.1"},
        AddressCase{"Empty", "", ""},
        AddressCase{"CutAt254", "<IPAddress>" + std::string(300, '1') + "</IPAddress>",
                    std::string(254, '1')}),
    pwtest::CaseName());

class IPv6Table : public AddressQueries, public ::testing::WithParamInterface<AddressCase> {};

TEST_P(IPv6Table, JoinsBothAddresses) {
    m_tarda->Answer(GetParam().answer);
    const Text addresses(pw::core::GetIPv6Addresses());
    ASSERT_NE(addresses, nullptr);
    EXPECT_EQ(std::string(addresses.get()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, IPv6Table,
    ::testing::Values(
        AddressCase{"Both", "<GLAddress>fd00::1</GLAddress><SLAddress>fe80::1</SLAddress>",
                    "fd00::1;fe80::1"},
        AddressCase{"FirstOnly", "<GLAddress>fd00::1</GLAddress>", "fd00::1"},
        AddressCase{"SecondOnly", "<SLAddress>fe80::1</SLAddress>", ";fe80::1"},
        AddressCase{"Neither", "<Obj/>", ""},
        AddressCase{"First255StaysWholeAndSecondIsDropped",
                    "<GLAddress>" + std::string(255, 'a') + "</GLAddress><SLAddress>b</SLAddress>",
                    std::string(255, 'a') + ";"},
        AddressCase{"SecondCutAt255InAll",
                    "<GLAddress>" + std::string(250, 'a') + "</GLAddress><SLAddress>" +
                        std::string(20, 'b') + "</SLAddress>",
                    std::string(250, 'a') + ";" + std::string(4, 'b')},
        AddressCase{"FirstCutAt255", "<GLAddress>" + std::string(300, 'a') + "</GLAddress>",
                    std::string(255, 'a')}),
    pwtest::CaseName());

TEST_F(AddressQueries, QueriesCarryTheirThreeTokens) {
    m_tarda->Answer("");
    std::free(pw::core::GetIPv4Address());
    EXPECT_EQ(m_tarda->LastArgs(),
              (std::vector<std::string>{"velcmd=getchildlist", "ons=Root", "byobjtype=322"}));
    std::free(pw::core::GetIPv6Addresses());
    EXPECT_EQ(m_tarda->LastArgs(),
              (std::vector<std::string>{"velcmd=getchildlist", "ons=Root", "byobjtype=417"}));
}

TEST_F(AddressQueries, NullAnswerGivesEmptyTexts) {
    m_tarda->AnswerNull();
    const Text ipv4(pw::core::GetIPv4Address());
    const Text ipv6(pw::core::GetIPv6Addresses());
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
