#include "tests/support/test_support.h"

#include "authex/authex_lexer.h"

#include <fstream>
#include <iostream>
#include <sstream>

namespace {

using token = yy::Parser::token;

// One token as the parser receives it: its number and, for NAME and QUOT, its text.
struct Token {
    int number;
    std::string text;
    bool operator==(const Token&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Token& t) {
    return out << t.number << (t.text.empty() ? "" : ":" + t.text);
}

struct Scan {
    std::vector<Token> tokens;  // up to and excluding the final 0
    std::string output;         // what the scanner copied to its output stream
};

Scan ScanText(const std::string& text) {
    std::istringstream in(text);
    std::ostringstream out;
    yy::CAuthExFileLexer lexer(&in, &out);
    Scan scan;
    for (;;) {
        yy::Parser::semantic_type value;
        const int number = lexer.yylex(&value);
        if (number == 0) {
            break;
        }
        Token t{number, ""};
        if (number == token::NAME || number == token::QUOT) {
            t.text = value.as<std::string>();
            value.destroy<std::string>();
        }
        scan.tokens.push_back(t);
    }
    scan.output = out.str();
    return scan;
}

Token T(int number, std::string text = "") {
    return Token{number, std::move(text)};
}

struct ScanCase {
    const char* what;
    std::string text;
    std::vector<Token> tokens;
    std::string output;
};

class ScannerTable : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScannerTable, GivesItsTokensAndCopiesTheRest) {
    const ScanCase& c = GetParam();
    const Scan scan = ScanText(c.text);
    EXPECT_EQ(scan.tokens, c.tokens);
    EXPECT_EQ(scan.output, c.output);
}

// The table is laid out by hand, a case to a line or two.
// clang-format off
const ScanCase kScans[] = {
    {"RootTagMixedCase", "<AuthExList>", {T(258), T(267), T(259)}, ""},
    {"RootTagLowerCase", "<authexlist>", {T(258), T(267), T(259)}, ""},
    {"RootTagUpperCase", "<AUTHEXLIST>", {T(258), T(267), T(259)}, ""},
    {"AttributeWithEqualsAndQuote", "<COMMAND name=\"getobject\">",
     {T(258), T(269), T(275), T(262, "\""), T(273, "getobject"), T(262, "\""), T(259)}, ""},
    {"BlankBeforeEqualsGivesEq", "<COMMAND name =\"x\">",
     {T(258), T(269), T(275), T(261), T(262, "\""), T(273, "x"), T(262, "\""), T(259)}, ""},
    {"AttributeWordAlone", "name \"", {T(275), T(262, "\"")}, ""},
    {"AttributeWithEqualsThenBlank", "Name= \"", {T(275), T(262, "\"")}, ""},
    {"AttributeWordRunningOnIsAName", "name=x", {T(273, "name=x")}, ""},
    {"QuotedNameWithEqualsAndDigits", "\"byobjtype=322\"",
     {T(262, "\""), T(273, "byobjtype=322"), T(262, "\"")}, ""},
    {"NameKeepsItsCase", "GetObject", {T(273, "GetObject")}, ""},
    {"NameWithSlashes", "a/b=c/", {T(273, "a/b=c/")}, ""},
    {"UnderscoreSplitsANameAndIsCopied", "\"get_x\"",
     {T(262, "\""), T(273, "get"), T(273, "x"), T(262, "\"")}, "_"},
    {"ParameterIsAName", "PARAMETER", {T(273, "PARAMETER")}, ""},
    {"ParamIsTheParameterKeyword", "param", {T(270)}, ""},
    {"KeywordsOnlyAsWholeWords", "ADMINS USER1 names",
     {T(273, "ADMINS"), T(273, "USER1"), T(273, "names")}, ""},
    {"KeywordInsideQuotes", "\"user\"", {T(262, "\""), T(266), T(262, "\"")}, ""},
    {"AllKeywords", "admin poweruser user daname command param include exclude authexlist",
     {T(264), T(265), T(266), T(268), T(269), T(270), T(271), T(272), T(267)}, ""},
    {"KeywordBeforeSlashIsAName", "<COMMAND/>", {T(258), T(273, "COMMAND/"), T(259)}, ""},
    {"EndOfInputInMidName", "abc", {T(273, "abc")}, ""},
    {"LineFeedBetweenTagsIsCopied", "<USER>\r\n<ADMIN>",
     {T(258), T(266), T(259), T(258), T(264), T(259)}, "\r\n"},
    {"SlashThenGreaterThan", "/>", {T(260), T(259)}, ""},
    {"LessThanSlashTogether", "</", {T(263)}, ""},
    {"LessThanBlankSlash", "< /", {T(258), T(260)}, ""},
    {"LessThanBlankSlashWord", "< /ADMIN", {T(258), T(273, "/ADMIN")}, ""},
    {"EqualsAlone", "= ", {T(261)}, ""},
    {"EqualsStartsAName", "=x", {T(273, "=x")}, ""},
    {"BlanksAndTabsPassedOver", " \t<\t >", {T(258), T(259)}, ""},
    {"ByteOrderMarkAndPunctuationCopied", "\xEF\xBB\xBF<!-#.>", {T(258), T(259)},
     "\xEF\xBB\xBF!-#."},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, ScannerTable, ::testing::ValuesIn(kScans), pwtest::CaseName());

TEST(Scanner, InheritedEntryWritesItsMessageAndReturnsZero) {
    std::istringstream in("<ADMIN>");
    std::ostringstream err;
    yy::CAuthExFileLexer lexer(&in, nullptr, &err);
    const int result = static_cast<AuthorizationFlexLexer&>(lexer).yylex();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(err.str(), "in AuthorizationFlexLexer::yylex() !\n");
}

TEST(Scanner, FailedStreamReadsAsEndOfInput) {
    std::ifstream missing("/no/such/folder/authexclusion.xml");
    ASSERT_FALSE(missing.is_open());
    yy::CAuthExFileLexer lexer(&missing, nullptr);
    yy::Parser::semantic_type value;
    EXPECT_EQ(lexer.yylex(&value), 0);
}

TEST(Scanner, LongNameBeyondTheInputBufferStaysWhole) {
    const std::string longName(40000, 'n');
    const Scan scan = ScanText("\"" + longName + "\"");
    ASSERT_EQ(scan.tokens.size(), 3u);
    EXPECT_EQ(scan.tokens[1], T(273, longName));
}

}  // namespace
