#include "tests/support/test_support.h"

#include "core/pipeway_provider_impl.h"

using pwtest::TraceCapture;
using Tokens = std::vector<std::string>;

namespace {

struct SplitCase {
    const char* what;
    std::string text;
    std::int32_t code;
    Tokens tokens;
    std::string message;  // a trace message the split must write, or ""
};

class SplitCommandLine : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLine, GivesItsTokensAndCode) {
    const SplitCase& c = GetParam();
    TraceCapture trace;
    std::string text = c.text;
    pw::TokenList tokens;
    const PipewayMgtData::PPImplStatus status = PipewayProviderImpl::ConvertStrToVec(text, tokens);
    EXPECT_EQ(status.code, c.code);
    EXPECT_EQ(status.text, "");
    EXPECT_EQ(tokens.ToVector(), c.tokens);
    if (!c.message.empty()) {
        EXPECT_TRUE(trace.Has(c.message)) << trace.Text();
    }
}

// The refusals, each with the place in the split that writes it.
const char k1322[] = "PipewayProviderImpl::ConvertStrToVec(1322) - Invalid Argument\n";
const char k1338[] = "PipewayProviderImpl::ConvertStrToVec(1338) - Invalid Argument\n";
const char k1429[] = "PipewayProviderImpl::ConvertStrToVec(1429) - Invalid Argument\n";

const std::string kCertificate = "PipewayProviderImpl::ConvertStrToVec() - ";
const std::string kNoSeparator =
    kCertificate + "No separator after the Certificate String of length ";

const char kCertificateLine[] =
    "velcmd=setUploadVandryCertificate CertificateStringLength=5 CertificateString=AB=CD "
    "daname=kordo64";
const std::string kUpload = "velcmd=setUploadVandryCertificate";

// The upload command followed by "CertificateStringLength=" and `rest`.
std::string Upload(const std::string& rest) {
    return kUpload + " CertificateStringLength=" + rest;
}

// The table is laid out by hand, a case to a line or two.
// clang-format off
const SplitCase kSplits[] = {
    {"TwoTokens", "daname=lumda64 velcmd=getobject", 0, {"daname=lumda64", "velcmd=getobject"},
     "PipewayProviderImpl::ConvertStrToVec() - Argument is daname=lumda64\n"},
    {"ValueWithBlanks", "velcmd=set name=My Server objtype=2", 0,
     {"velcmd=set", "name=My Server", "objtype=2"}, ""},
    {"BlanksBeforeTheNextName", "a=b  c =d", 0, {"a=b", "c=d"}, ""},
    {"BlanksAroundEquals", "a = b", 0, {"a=b"}, ""},
    {"OnlyTheFirstNameHoldsABlank", "my name=x", 0, {"my name=x"}, ""},
    {"EmptyLastValue", "a=", 0, {"a="}, ""},
    {"ValueIsCleaned", "a= b  c=d", 0, {"a=b", "c=d"}, ""},
    {"PrefixedName", "__01daname=tarda64", 0, {"daname=tarda64"}, ""},
    {"InnerPrefixIsDropped", "ab__xycd=1", 0, {"abcd=1"}, ""},
    {"ValueCannotHoldEquals", "a=x=y b=c", 0, {"a=", "x=y", "b=c"}, ""},
    {"OneWordSegmentBecomesTheNextName", "a=bc=d", 0, {"a=", "bc=d"}, ""},
    {"OneWordSegmentWithTrailingBlanks", "a=bc  =d", 0, {"a=", "bc=d"}, ""},
    {"DoubleEquals", "a==b", 7, {"a="}, k1322},
    {"BlanksOnlySegment", "a=   =b", 7, {"a="}, k1322},
    {"EmptyFirstName", "=b", 7, {}, k1322},
    {"NoEqualsAnywhere", "abc", 7, {}, k1429},
    {"EmptyText", "", 7, {}, "PipewayProviderImpl::ConvertStrToVec() - Empty Argument\n"},
    {"PrefixOnlyName", "__ab=x", 7, {}, k1338},
    {"PrefixAtTheEndOfALongerName", "abc__=x", 7, {}, k1338},
    {"PrefixCutShortByTheEnd", "ok=1 ab__x=y", 7, {"ok=1"}, k1338},
    {"CertificateKeepsEqualsAndBlanks", kCertificateLine, 0,
     {kUpload, "CertificateStringLength=5", "CertificateString=AB=CD", "daname=kordo64"},
     "PipewayProviderImpl::ConvertStrToVec Certificate string Upload Progress in Pwy provider"},
    {"CertificateWithBlanksInside", Upload("7 CertificateString=A B = C daname=kordo64"), 0,
     {kUpload, "CertificateStringLength=7", "CertificateString=A B = C", "daname=kordo64"},
     ""},
    {"TextAfterTheCertificateWithoutEqualsIsDropped",
     Upload("2 CertificateString=AB trailing words"), 0,
     {kUpload, "CertificateStringLength=2", "CertificateString=AB"}, ""},
    {"CertificateLengthMinusOne", Upload("-1 CertificateString=AB=CD daname=kordo64"), 7, {},
     "PipewayProviderImpl::ConvertStrToVec() - Error in the Certificate String length \n"},
    {"CertificateLengthOtherNegative", Upload("-7 CertificateString=AB=CD daname=kordo64"), 7, {},
     kCertificate + "Negative Certificate String length -7\n"},
    {"CertificateLengthMostNegative", Upload("-2147483648 CertificateString=AB=CD daname=kordo64"),
     7, {}, kCertificate + "Negative Certificate String length -2147483648\n"},
    {"CertificateLongerThanTheText", Upload("99 CertificateString=AB=CD daname=kordo64"), 7,
     {kUpload, "CertificateStringLength=99"},
     kCertificate + "Certificate String shorter than its length 99\n"},
    {"CertificateEndingTheLine", Upload("5 CertificateString=AB=CD"), 7,
     {kUpload, "CertificateStringLength=5"}, kNoSeparator + "5\n"},
    {"CertificateWithoutSeparator", Upload("4 CertificateString=AB=CD daname=kordo64"), 7,
     {kUpload, "CertificateStringLength=4"}, kNoSeparator + "4\n"},
    {"CertificateLengthWithNothingAfterIt", kUpload + " CertificateStringLength", 7, {},
     kCertificate + "Certificate String length missing\n"},
    {"CertificateLengthHuge", Upload("99999999999999999999 CertificateString=AB daname=kordo64"), 7,
     {kUpload, "CertificateStringLength=99999999999999999999"},
     kCertificate + "Certificate String shorter than its length 2147483647\n"},
    {"CertificateStringWithoutUploadCommandIsAnOrdinaryName",
     "velcmd=other CertificateStringLength=5 CertificateString=AB CD=EF x=y", 0,
     {"velcmd=other", "CertificateStringLength=5", "CertificateString=AB", "CD=EF", "x=y"},
     ""},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, SplitCommandLine, ::testing::ValuesIn(kSplits), pwtest::CaseName());

TEST(ConvertStrToVec, CertificateIsNotWrittenToTheTrace) {
    TraceCapture trace;
    std::string text = kCertificateLine;
    pw::TokenList tokens;
    ASSERT_EQ(PipewayProviderImpl::ConvertStrToVec(text, tokens).code, 0);
    EXPECT_EQ(trace.Count("AB=CD"), 0) << trace.Text();
}

TEST(ConvertStrToVec, TextIsConsumed) {
    std::string text =
        "velcmd=setUploadVandryCertificate CertificateStringLength=2 "
        "CertificateString=AB rest";
    pw::TokenList tokens;
    ASSERT_EQ(PipewayProviderImpl::ConvertStrToVec(text, tokens).code, 0);
    EXPECT_EQ(text, "rest");

    std::string whole = "a=b c=d";
    ASSERT_EQ(PipewayProviderImpl::ConvertStrToVec(whole, tokens).code, 0);
    EXPECT_EQ(whole, "");
}

TEST(ConvertStrToVec, TokensAreAppendedToTheVector) {
    std::string text = "c=d";
    pw::TokenList tokens = {"a=b"};
    ASSERT_EQ(PipewayProviderImpl::ConvertStrToVec(text, tokens).code, 0);
    EXPECT_EQ(tokens.ToVector(), (Tokens{"a=b", "c=d"}));
}

TEST(ConvertStrToVec, MegabyteCertificateIsTakenWhole) {
    std::string certificate(1 << 20, 'Q');
    for (std::size_t i = 0; i < certificate.size(); i += 64) {
        certificate[i] = i % 128 == 0 ? '=' : ' ';
    }
    std::string text = "daname=kordo64 velcmd=setUploadVandryCertificate CertificateStringLength=" +
                       std::to_string(certificate.size()) + " CertificateString=" + certificate +
                       " last=1";
    pw::TokenList tokens;
    ASSERT_EQ(PipewayProviderImpl::ConvertStrToVec(text, tokens).code, 0);
    ASSERT_EQ(tokens.size(), 5u);
    EXPECT_EQ(tokens[3], "CertificateString=" + certificate);
    EXPECT_EQ(tokens[4], "last=1");
}

struct ProcessCase {
    const char* text;
    const char* kind;
    bool accepted;
    const char* cleaned;
};

class ProcessArgumentTable : public ::testing::TestWithParam<ProcessCase> {};

TEST_P(ProcessArgumentTable, CleansOrRefuses) {
    const ProcessCase& c = GetParam();
    std::string text = c.text;
    EXPECT_EQ(PipewayProviderImpl::ProcessArgument(text, c.kind), c.accepted);
    if (c.accepted) {
        EXPECT_EQ(text, c.cleaned);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ProcessArgumentTable,
                         ::testing::Values(ProcessCase{"__01daname", "NAME", true, "daname"},
                                           ProcessCase{"ab__xycd", "NAME", true, "abcd"},
                                           ProcessCase{"  name  ", "NAME", true, "name"},
                                           ProcessCase{"__ab", "NAME", false, ""},
                                           ProcessCase{"ab__", "NAME", false, ""},
                                           ProcessCase{" __ab ", "NAME", false, ""},
                                           ProcessCase{"abc__", "NAME", false, ""},
                                           ProcessCase{"", "NAME", false, ""},
                                           ProcessCase{"", "VALUE", true, ""},
                                           ProcessCase{" a__b ", "VALUE", true, "a__b"},
                                           ProcessCase{" a__b ", "anything", true, "a__b"},
                                           ProcessCase{"\tx\t", "VALUE", true, "\tx\t"}));

TEST(ProcessArgument, RefusalIsLoggedWithNameAndLength) {
    TraceCapture trace;
    std::string name = "__ab";
    EXPECT_FALSE(PipewayProviderImpl::ProcessArgument(name, "NAME"));
    EXPECT_TRUE(
        trace.Has("PipewayProviderImpl::ProcessArgument() - Error \n the string "
                  "value(__ab) or length(4) is incorrect "))
        << trace.Text();
}

}  // namespace
