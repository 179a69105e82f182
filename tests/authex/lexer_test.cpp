#include "test_support.h"

#include "authex_lexer.h"

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

INSTANTIATE_TEST_SUITE_P(
    Table, ScannerTable,
    ::testing::Values(
        ScanCase{"RootTagMixedCase", "<AuthExList>", {T(258), T(267), T(259)}, ""},
        ScanCase{"RootTagLowerCase", "<authexlist>", {T(258), T(267), T(259)}, ""},
        ScanCase{"RootTagUpperCase", "<AUTHEXLIST>", {T(258), T(267), T(259)}, ""},
        ScanCase{"AttributeWithEqualsAndQuote",
                 "<COMMAND name=\"getobject\">",
                 {T(258), T(269), T(275), T(262, "\""), T(273, "getobject"), T(262, "\""), T(259)},
                 ""},
        ScanCase{"BlankBeforeEqualsGivesEq",
                 "<COMMAND name =\"x\">",
                 {T(258), T(269), T(275), T(261), T(262, "\""), T(273, "x"), T(262, "\""), T(259)},
                 ""},
        ScanCase{"AttributeWordAlone", "name \"", {T(275), T(262, "\"")}, ""},
        ScanCase{"AttributeWithEqualsThenBlank", "Name= \"", {T(275), T(262, "\"")}, ""},
        ScanCase{"AttributeWordRunningOnIsAName", "name=x", {T(273, "name=x")}, ""},
        ScanCase{"QuotedNameWithEqualsAndDigits",
                 "\"byobjtype=322\"",
                 {T(262, "\""), T(273, "byobjtype=322"), T(262, "\"")},
                 ""},
        ScanCase{"NameKeepsItsCase", "GetObject", {T(273, "GetObject")}, ""},
        ScanCase{"NameWithSlashes", "a/b=c/", {T(273, "a/b=c/")}, ""},
        ScanCase{"UnderscoreSplitsANameAndIsCopied",
                 "\"get_x\"",
                 {T(262, "\""), T(273, "get"), T(273, "x"), T(262, "\"")},
                 "_"},
        ScanCase{"ParameterIsAName", "PARAMETER", {T(273, "PARAMETER")}, ""},
        ScanCase{"ParamIsTheParameterKeyword", "param", {T(270)}, ""},
        ScanCase{"KeywordsOnlyAsWholeWords",
                 "ADMINS USER1 names",
                 {T(273, "ADMINS"), T(273, "USER1"), T(273, "names")},
                 ""},
        ScanCase{"KeywordInsideQuotes", "\"user\"", {T(262, "\""), T(266), T(262, "\"")}, ""},
        ScanCase{"AllKeywords",
                 "admin poweruser user daname command param include exclude authexlist",
                 {T(264), T(265), T(266), T(268), T(269), T(270), T(271), T(272), T(267)},
                 ""},
        ScanCase{
            "KeywordBeforeSlashIsAName", "<COMMAND/>", {T(258), T(273, "COMMAND/"), T(259)}, ""},
        ScanCase{"EndOfInputInMidName", "abc", {T(273, "abc")}, ""},
        ScanCase{"LineFeedBetweenTagsIsCopied",
                 "<USER>\r\n<ADMIN>",
                 {T(258), T(266), T(259), T(258), T(264), T(259)},
                 "\r\n"},
        ScanCase{"SlashThenGreaterThan", "/>", {T(260), T(259)}, ""},
        ScanCase{"LessThanSlashTogether", "</", {T(263)}, ""},
        ScanCase{"LessThanBlankSlash", "< /", {T(258), T(260)}, ""},
        ScanCase{"LessThanBlankSlashWord", "< /ADMIN", {T(258), T(273, "/ADMIN")}, ""},
        ScanCase{"EqualsAlone", "= ", {T(261)}, ""},
        ScanCase{"EqualsStartsAName", "=x", {T(273, "=x")}, ""},
        ScanCase{"BlanksAndTabsPassedOver", " \t<\t >", {T(258), T(259)}, ""},
        ScanCase{"ByteOrderMarkAndPunctuationCopied",
                 "\xEF\xBB\xBF<!-#.>",
                 {T(258), T(259)},
                 "\xEF\xBB\xBF!-#."}),
    pwtest::CaseName());

TEST(Scanner, InheritedEntryWritesItsMessageAndReturnsZero) {
    std::istringstream in("<ADMIN>");
    std::ostringstream err;
    std::streambuf* saved = std::cerr.rdbuf(err.rdbuf());
    yy::CAuthExFileLexer lexer(&in, nullptr);
    const int result = static_cast<AuthorizationFlexLexer&>(lexer).yylex();
    std::cerr.rdbuf(saved);
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
