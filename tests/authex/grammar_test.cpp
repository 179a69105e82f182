#include "tests/authex/policy_support.h"

using pwtest::PolicyFixture;
using pwtest::RoleTable;

namespace {

const char kExampleFile[] =
    "<AUTHEXLIST>\n"
    "<USER>\n"
    "<COMMAND name=\"getchildlist\">\n"
    "<PARAM name=\"byobjtype=322\"/>\n"
    "<PARAM name=\"byobjtype=417\"></PARAM>\n"
    "</COMMAND>\n"
    "<COMMAND name=\"getobject\"></COMMAND>\n"
    "</USER>\n"
    "<PowerUser>\n"
    "<Command Name= \"getuserrightsonly\" />\n"
    "</PowerUser>\n"
    "<ADMIN>\n"
    "<COMMAND name=\"getobject\"><PARAM name=\"showobjhead=true\"/></COMMAND>\n"
    "</ADMIN>\n"
    "</AUTHEXLIST>\n";

class Grammar : public PolicyFixture {};

// The example file records exactly its entries, and the parser's actions reach the store in
// the file's order.
TEST_F(Grammar, ExampleFileRecordsExactlyItsEntriesInFileOrder) {
    pwtest::TraceCapture trace;
    const CSingletonAuthExceptionImpl& store = Load(kExampleFile);
    const RoleTable expected = {{"getchildlistbyobjtype=322", 1},
                                {"getchildlistbyobjtype=417", 1},
                                {"getobject", 1},
                                {"getuserrightsonly", 2},
                                {"getobjectshowobjhead=true", 4}};
    EXPECT_EQ(store.RoleTable(), expected);
    // Only the file's line ends reach standard output: the parse accepted the file.
    EXPECT_EQ(parserOutput, std::string(15, '\n'));
    const std::vector<std::string> actions = {
        "Inside  CSingletonAuthExceptionImpl::CSingletonAuthExceptionImpl() \n",
        // The install root and the file's place under it are joined as they stand.
        "Opening file " + m_root->path().string() + "/svx/pipeway/bin/authexclusion.xml\n",
        "File opened Successfully \n",
        "Inside PARAM tag single: getchildlistbyobjtype=322 role 1\n",
        "Inside Close Cmd tag: getobject Role 1 \n", "Inside admin tag....... ROLE = 4\n",
        "Inside PARAM tag single: getobjectshowobjhead=true role 4\n"};
    EXPECT_EQ(trace.Messages(), actions);
}

struct AcceptedCase {
    const char* what;
    const char* text;
    RoleTable entries;
};

class GrammarAccepts : public PolicyFixture, public ::testing::WithParamInterface<AcceptedCase> {};

TEST_P(GrammarAccepts, RecordsItsEntries) {
    const AcceptedCase& c = GetParam();
    const CSingletonAuthExceptionImpl& store = Load(c.text);
    EXPECT_EQ(store.RoleTable(), c.entries);
    EXPECT_EQ(parserOutput, "");
}

// The tables are laid out by hand, a case to a line or two.
// clang-format off
const AcceptedCase kAccepted[] = {
    {"RootOnly", "<AUTHEXLIST></AUTHEXLIST>", {}},
    {"EmptySection", "<AUTHEXLIST><ADMIN></ADMIN></AUTHEXLIST>", {}},
    {"SectionsInAnyOrderAndRepeated", "<AUTHEXLIST><USER><COMMAND name=\"a\"/></USER>"
     "<ADMIN><COMMAND name=\"b\"/></ADMIN><USER><COMMAND name=\"c\"/></USER></AUTHEXLIST>",
     {{"a", 1}, {"b", 4}, {"c", 1}}},
    {"LastEntryWins", "<AUTHEXLIST><USER><COMMAND name=\"x\"/></USER>"
     "<ADMIN><COMMAND name=\"x\"/></ADMIN></AUTHEXLIST>", {{"x", 4}}},
    {"AttributeWithoutEquals", "<AUTHEXLIST><USER><COMMAND name \"x\"/></USER></AUTHEXLIST>",
     {{"x", 1}}},
    {"BlanksInsideTheQuotes", "<AUTHEXLIST><USER><COMMAND name=\" x \"/></USER></AUTHEXLIST>",
     {{"x", 1}}},
    {"EmptyCommandElementStoresItsName",
     "<AUTHEXLIST><POWERUSER><COMMAND name=\"y\"></COMMAND></POWERUSER></AUTHEXLIST>", {{"y", 2}}},
    // A command with parameters excludes only those, never itself, also when each parameter is
    // written as a start tag and an end tag.
    {"CommandWithOnlyStartAndEndParams", "<AUTHEXLIST><USER><COMMAND name=\"z\">"
     "<PARAM name=\"a=1\"></PARAM><PARAM name=\"b=2\"></PARAM></COMMAND></USER></AUTHEXLIST>",
     {{"za=1", 1}, {"zb=2", 1}}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, GrammarAccepts, ::testing::ValuesIn(kAccepted), pwtest::CaseName());

struct ErrorCase {
    const char* what;
    const char* text;  // on one line: standard output then holds the message alone
    const char* message;
    RoleTable entries;        // recorded before the faulty token
    const char* echoed = "";  // bytes the scanner copied to standard output before the error
};

class GrammarRejects : public PolicyFixture, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(GrammarRejects, StopsWithItsMessageKeepingWhatCameBefore) {
    const ErrorCase& c = GetParam();
    const CSingletonAuthExceptionImpl& store = Load(c.text);
    EXPECT_EQ(parserOutput, std::string(c.echoed) + c.message + "\n");
    EXPECT_EQ(store.RoleTable(), c.entries);
}

// clang-format off
const ErrorCase kRejected[] = {
    {"EmptyFile", "", "syntax error, unexpected $end, expecting LT", {}},
    {"CommandInsideRoot", "<AUTHEXLIST><COMMAND name=\"x\"/></AUTHEXLIST>",
     "syntax error, unexpected COMMAND, expecting ADMIN or POWERUSER or USER", {}},
    {"ParamInsideSection", "<AUTHEXLIST><USER><PARAM name=\"x\"/></USER></AUTHEXLIST>",
     "syntax error, unexpected PARAMETER, expecting COMMAND", {}},
    {"CommandInsideCommand", "<AUTHEXLIST><USER><COMMAND name=\"a\"><COMMAND name=\"b\"/></COMMAND>"
     "</USER></AUTHEXLIST>", "syntax error, unexpected COMMAND, expecting PARAMETER", {}},
    {"SectionClosedByTheWrongKind", "<AUTHEXLIST><ADMIN><COMMAND name=\"a\"/></USER></AUTHEXLIST>",
     "syntax error, unexpected USER, expecting ADMIN", {{"a", 4}}},
    {"NameBetweenParamTags", "<AUTHEXLIST><USER><COMMAND name=\"a\"><PARAM name=\"p\">x</PARAM>"
     "</COMMAND></USER></AUTHEXLIST>", "syntax error, unexpected NAME, expecting LTSLASH", {}},
    {"SecondAttribute", "<AUTHEXLIST><USER><COMMAND name=\"a\" id=\"b\"/></USER></AUTHEXLIST>",
     "syntax error, unexpected NAME, expecting GT or SLASH", {}},
    {"EmptyName", "<AUTHEXLIST><USER><COMMAND name=\"\"/></USER></AUTHEXLIST>",
     "syntax error, unexpected QUOT, expecting NAME", {}},
    {"KeywordAsName", "<AUTHEXLIST><USER><COMMAND name=\"User\"/></USER></AUTHEXLIST>",
     "syntax error, unexpected USER, expecting NAME", {}},
    {"SecondRootEndTag", "<AUTHEXLIST></AUTHEXLIST></AUTHEXLIST>",
     "syntax error, unexpected LTSLASH, expecting $end", {}},
    {"NameAfterRootEndTag", "<AUTHEXLIST><USER><COMMAND name=\"a\"/></USER></AUTHEXLIST>x",
     "syntax error, unexpected NAME, expecting $end", {{"a", 1}}},
    {"CommandWithoutName", "<AUTHEXLIST><USER><COMMAND /></USER></AUTHEXLIST>",
     "syntax error, unexpected SLASH, expecting ANAME", {}},
    {"BlankBetweenNameAndEquals", "<AUTHEXLIST><USER><COMMAND name =\"a\"/></USER></AUTHEXLIST>",
     "syntax error, unexpected EQ, expecting QUOT", {}},
    {"XmlDeclaration", "<?xml version=\"1.0\"?><AUTHEXLIST></AUTHEXLIST>",
     "syntax error, unexpected NAME, expecting AUTH", {}, "?"},
    {"ErrorInTheMiddleKeepsEarlierEntriesOnly", "<AUTHEXLIST><USER><COMMAND name=\"before\"/>"
     "<COMMAND name=\"bad\" x/><COMMAND name=\"after\"/></USER></AUTHEXLIST>",
     "syntax error, unexpected NAME, expecting GT or SLASH", {{"before", 1}}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, GrammarRejects, ::testing::ValuesIn(kRejected), pwtest::CaseName());

TEST_F(Grammar, MissingFileRecordsNothingAndReportsEndOfInput) {
    pwtest::TraceCapture trace;
    const CSingletonAuthExceptionImpl& store = Rebuild();  // no file written
    EXPECT_TRUE(store.RoleTable().empty());
    EXPECT_EQ(parserOutput, "syntax error, unexpected $end, expecting LT\n");
    EXPECT_TRUE(trace.Has("File open Failed \n"));
}

// What a policy check reads besides the role table: where the parse stopped, and the keys
// given twice. None of it changes what the provider's store keeps from the same file.
struct ErrorPlaceCase {
    const char* what;
    const char* text;
    int line;
    int column;
    const char* found;    // the token there; empty at the end of the file
    const char* skipped;  // part of the bytes passed over just before it
};

void PrintTo(const ErrorPlaceCase& c, std::ostream* os) {
    *os << c.what;
}

// A policy read for checking, with what the reading told its listener; what the parse wrote to
// standard output goes to `output`.
struct CheckedPolicy : CSingletonAuthExceptionImpl::PolicyListener {
    CSingletonAuthExceptionImpl::PolicyFile file;
    std::optional<CSingletonAuthExceptionImpl::SyntaxError> syntaxError;
    std::vector<CSingletonAuthExceptionImpl::DuplicateKey> duplicates;
    void KeyGivenTwice(const CSingletonAuthExceptionImpl::DuplicateKey& duplicate) override {
        duplicates.push_back(duplicate);
    }
    void SyntaxErrorAt(const CSingletonAuthExceptionImpl::SyntaxError& error) override {
        syntaxError = error;
    }
};

void CheckedRead(const std::string& text, CheckedPolicy& policy, std::string& output) {
    std::istringstream in(text);
    std::ostringstream captured;
    policy.file = CSingletonAuthExceptionImpl::ReadPolicy(in, &policy, {&captured, &captured});
    output = captured.str();
}

class SyntaxErrorPlace : public PolicyFixture,
                         public ::testing::WithParamInterface<ErrorPlaceCase> {};

TEST_P(SyntaxErrorPlace, IsTheTokenWhereTheParseStopped) {
    const ErrorPlaceCase& c = GetParam();
    std::string output;
    CheckedPolicy policy;
    CheckedRead(c.text, policy, output);
    ASSERT_FALSE(policy.file.accepted);
    ASSERT_TRUE(policy.syntaxError.has_value());
    const CSingletonAuthExceptionImpl::SyntaxError& error = *policy.syntaxError;
    EXPECT_EQ(error.line, c.line);
    EXPECT_EQ(error.column, c.column);
    EXPECT_EQ(error.text, c.found);
    EXPECT_NE(error.skipped.find(c.skipped), std::string::npos) << error.skipped;
    // The listener hears the parser's message, and nothing reaches standard output.
    EXPECT_EQ(error.message.rfind("syntax error", 0), 0u) << error.message;
    EXPECT_EQ(output, "");
    // The provider's own store keeps exactly the same entries from the same file.
    EXPECT_EQ(Load(c.text).RoleTable(), policy.file.store->RoleTable());
}

INSTANTIATE_TEST_SUITE_P(
    Table, SyntaxErrorPlace,
    ::testing::Values(
        ErrorPlaceCase{"SingleQuotes",
                       "<AUTHEXLIST>\n<USER>\n<COMMAND name=\"getobject\"/>\n"
                       "<COMMAND name='setobject'/>\n</USER>\n</AUTHEXLIST>\n",
                       4, 16, "setobject", "'"},
        ErrorPlaceCase{"SingleQuotesWithCrLf",
                       "<AUTHEXLIST>\r\n<USER>\r\n<COMMAND name=\"getobject\"/>\r\n"
                       "<COMMAND name='setobject'/>\r\n</USER>\r\n</AUTHEXLIST>\r\n",
                       4, 16, "setobject", "'"},
        ErrorPlaceCase{"XmlDeclaration", "<?xml version=\"1.0\"?>\n<AUTHEXLIST>\n</AUTHEXLIST>\n",
                       1, 3, "xml", "?"},
        ErrorPlaceCase{"Comment",
                       "<AUTHEXLIST>\n  <!-- the users -->\n<USER></USER>\n</AUTHEXLIST>\n", 2, 8,
                       "the", "!--"},
        ErrorPlaceCase{"MisspeltTag",
                       "<AUTHEXLIST>\n<USER>\n\t<COMAND name=\"setobject\"/>\n</USER>\n", 3, 3,
                       "COMAND", ""},
        ErrorPlaceCase{"EndOfFile", "<AUTHEXLIST>\n<USER><COMMAND name=\"a\"/></USER>\n", 3, 1, "",
                       "\n"}),
    pwtest::CaseName());

TEST_F(Grammar, KeysGivenTwiceAreReportedWithTheRoleThatStands) {
    std::string output;
    CheckedPolicy policy;
    CheckedRead(
        "<AUTHEXLIST>\n<USER><COMMAND name=\"a\"/></USER>\n"
        "<ADMIN>\n<COMMAND name=\"a\"/>\n<COMMAND name=\"b\"/></ADMIN>\n</AUTHEXLIST>\n",
        policy, output);
    ASSERT_TRUE(policy.file.accepted);
    ASSERT_EQ(policy.duplicates.size(), 1u);
    EXPECT_EQ(policy.duplicates[0].key, "a");
    EXPECT_EQ(policy.duplicates[0].earlierRole, 1);
    EXPECT_EQ(policy.duplicates[0].laterRole, 4);
    EXPECT_EQ(policy.duplicates[0].line, 4);
    EXPECT_EQ(policy.file.store->LookupRole("a"), 4);
}

// The listener is told the token found and the ones the grammar would have taken, as the file
// spells them and by kind: what the tool's message and hints are made of.
struct ErrorTokensCase {
    const char* what;
    const char* text;
    const char* unexpected;
    CSingletonAuthExceptionImpl::Token::Class kind;
    std::vector<std::string> expected;
};

class SyntaxErrorTokens : public ::testing::TestWithParam<ErrorTokensCase> {};

TEST_P(SyntaxErrorTokens, AreSpelledAsInTheFile) {
    std::istringstream in(GetParam().text);
    CheckedPolicy policy;
    policy.file = CSingletonAuthExceptionImpl::ReadPolicy(in, &policy);
    const ErrorTokensCase& c = GetParam();
    ASSERT_TRUE(policy.syntaxError.has_value());
    const CSingletonAuthExceptionImpl::SyntaxTokens& tokens = policy.syntaxError->tokens;
    EXPECT_EQ(tokens.unexpected.spelling, c.unexpected);
    EXPECT_EQ(tokens.unexpected.kind, c.kind);
    std::vector<std::string> expected;
    for (const CSingletonAuthExceptionImpl::Token& token : tokens.expected) {
        expected.push_back(token.spelling);
    }
    EXPECT_EQ(expected, c.expected);
}

using TokenClass = CSingletonAuthExceptionImpl::Token::Class;
INSTANTIATE_TEST_SUITE_P(
    Table, SyntaxErrorTokens,
    ::testing::Values(
        ErrorTokensCase{"EmptyFile", "", "the end of the file", TokenClass::kEnd, {"<"}},
        ErrorTokensCase{"CommandOutsideASection",
                        "<AUTHEXLIST><COMMAND name=\"a\"/></AUTHEXLIST>",
                        "COMMAND",
                        TokenClass::kTag,
                        {"ADMIN", "POWERUSER", "USER"}},
        ErrorTokensCase{"MisspeltTag",
                        "<AUTHEXLIST><USER><COMAND name=\"a\"/></USER></AUTHEXLIST>",
                        "a name",
                        TokenClass::kName,
                        {"COMMAND"}},
        ErrorTokensCase{"SingleQuotes",
                        "<AUTHEXLIST><USER><COMMAND name='a'/></USER></AUTHEXLIST>",
                        "a name",
                        TokenClass::kName,
                        {"a double quote"}},
        ErrorTokensCase{"TextAfterTheEnd",
                        "<AUTHEXLIST><USER><COMMAND name=\"a\"/></USER></AUTHEXLIST></USER>",
                        "</",
                        TokenClass::kMark,
                        {"the end of the file"}}),
    pwtest::CaseName());

}  // namespace
