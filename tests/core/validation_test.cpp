#include "tests/support/test_support.h"

#include "core/pipeway_provider_impl.h"

using pwtest::TraceCapture;
using Tokens = std::vector<std::string>;

namespace {

Tokens ArgvOf(const PipewayProviderImpl& request) {
    Tokens argv;
    for (unsigned i = 0; i < request.Argc(); ++i) {
        argv.push_back(request.Argv()[i] == nullptr ? "<null>" : request.Argv()[i]);
    }
    return argv;
}

struct ValidCase {
    const char* what;
    Tokens tokens;
    const char* daName;
    const char* command;
    const char* localLogin;
    Tokens argv;
};

class ValidCommandLine : public ::testing::TestWithParam<ValidCase> {};

TEST_P(ValidCommandLine, SettlesModuleCommandLocalLoginAndArgumentArray) {
    const ValidCase& c = GetParam();
    PipewayProviderImpl request("HOST\\user", c.tokens);
    EXPECT_EQ(request.Status(), 0);
    EXPECT_FALSE(request.IsAuthorizedRequest());
    EXPECT_EQ(request.DAName(), c.daName);
    EXPECT_EQ(request.Command(), c.command);
    EXPECT_EQ(request.LocalLogin(), c.localLogin);
    EXPECT_EQ(ArgvOf(request), c.argv);
    EXPECT_EQ(request.Args(), c.tokens);
    EXPECT_EQ(request.UserName(), "HOST\\user");
}

const char kLocal[] = "localLogin=TRUE";

// The tables are laid out by hand, a case to a line or two.
// clang-format off
const ValidCase kValid[] = {
    {"ShortNameGetsItsSuffix", {"daname=lumda", "velcmd=getobject"}, "lumda64", "getobject", kLocal,
     {"daname=lumda", "velcmd=getobject", kLocal}},
    {"NamesAreTrimmedAndCaseFolded", {" DaName = lumda64 ", "VELCMD=getobject"}, "lumda64",
     "getobject", kLocal, {" DaName = lumda64 ", "VELCMD=getobject", kLocal}},
    {"EmptyCommand", {"daname=rukda64", "velcmd="}, "rukda64", "", kLocal,
     {"daname=rukda64", "velcmd=", kLocal}},
    {"PrefixIsDropped", {"__01daname=tarda64", "__02velcmd=getobject"}, "tarda64", "getobject",
     kLocal, {"daname=tarda64", "velcmd=getobject", kLocal}},
    {"ValueWithEqualsPassesThrough", {"daname=pexda64", "objtype=2=3", "velcmd=x"}, "pexda64", "x",
     kLocal, {"daname=pexda64", "objtype=2=3", "velcmd=x", kLocal}},
    {"EmptyNamePassesThrough", {"=x", "daname=mivda", "velcmd=y"}, "mivda64", "y", kLocal,
     {"=x", "daname=mivda", "velcmd=y", kLocal}},
    {"ClientsLocalLoginIsKept", {"daname=rukda", "VelCmd = getuserrightsonly", "localLogin=FALSE"},
     "rukda64", "getuserrightsonly", "localLogin=FALSE",
     {"daname=rukda", "VelCmd = getuserrightsonly", "localLogin=FALSE"}},
    {"SecondLocalLoginIsCopiedButIgnored", {"LocalLogin=no", "daname=kordo", "localLogin=yes",
     "velcmd=z"}, "kordo64", "z", "LocalLogin=no",
     {"LocalLogin=no", "daname=kordo", "localLogin=yes", "velcmd=z"}},
    {"ControlCharactersBecomeBlanks", {"daname=lumda64", "velcmd=get\tobject\r\n"}, "lumda64",
     "get object", kLocal, {"daname=lumda64", "velcmd=get\tobject\r\n", kLocal}},
    {"SimilarNamesAreOrdinaryTokens", {"danamex=1", "dana=2", "daname=tarda64", "velcmd=v"},
     "tarda64", "v", kLocal, {"danamex=1", "dana=2", "daname=tarda64", "velcmd=v", kLocal}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, ValidCommandLine, ::testing::ValuesIn(kValid), pwtest::CaseName());

struct InvalidCase {
    const char* what;
    Tokens tokens;
    std::int32_t status;
    const char* message;
    Tokens argv;  // the copies made before validation stopped; later entries stay null
};

class InvalidCommandLine : public ::testing::TestWithParam<InvalidCase> {};

TEST_P(InvalidCommandLine, FailsWithItsCodeAndTraceLine) {
    const InvalidCase& c = GetParam();
    TraceCapture trace;
    PipewayProviderImpl request("HOST\\user", c.tokens);
    EXPECT_EQ(request.Status(), c.status);
    EXPECT_FALSE(request.IsAuthorizedRequest());
    EXPECT_TRUE(trace.Has(std::string("PipewayProviderImpl::IsValidOperation() : ") + c.message))
        << trace.Text();
    EXPECT_EQ(ArgvOf(request), c.argv);
}

const char kBadName[] = "(Syntax error) Invalid DA Name\n";
const char kNoEquals[] = "(Syntax error) = not found\n";
const char kNull[] = "<null>";

// clang-format off
const InvalidCase kInvalid[] = {
    {"DANameIsCaseSensitive", {"daname=LUMDA64", "velcmd=x"}, 102, kBadName, {kNull, kNull}},
    {"NameWith64IsNotExtended", {"daname=lum64", "velcmd=x"}, 102, kBadName, {kNull, kNull}},
    {"EmptyDAName", {"velcmd=x", "daname="}, 102, kBadName, {"velcmd=x", kNull}},
    {"NoDANameIsReportedFirst", {"objtype=2"}, 101, "(Syntax error) DA Name not found\n",
     {"objtype=2"}},
    {"NoCommand", {"daname=lumda64", "objtype=2"}, 103, "(Syntax error) VELCommand not found\n",
     {"daname=lumda64", "objtype=2"}},
    {"TokenWithoutEquals", {"velcmd=x", "foo", "daname=lumda64"}, 104, kNoEquals,
     {"velcmd=x", kNull, kNull}},
    {"EmptyToken", {"daname=lumda64", "", "velcmd=x"}, 104, kNoEquals,
     {"daname=lumda64", kNull, kNull}},
    {"PrefixOnly", {"__ab", "daname=lumda64", "velcmd=x"}, 104, kNoEquals, {kNull, kNull, kNull}},
    {"PrefixCutShort", {"daname=lumda64", "__a", "velcmd=x"}, 104,
     "(Syntax error) Incomplete prefix\n", {"daname=lumda64", kNull, kNull}},
    {"DuplicateDANameEvenWhenBothAreValid", {"daname=lumda64", "DANAME=lumda64", "velcmd=x"}, 104,
     "(Syntax error) Duplicate DA Name\n", {"daname=lumda64", kNull, kNull}},
    {"DuplicateCommand", {"velcmd=a", "daname=lumda64", "VELCMD=b"}, 104,
     "(Syntax error) Duplicate VEL Command\n", {"velcmd=a", "daname=lumda64", kNull}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, InvalidCommandLine, ::testing::ValuesIn(kInvalid),
                         pwtest::CaseName());

TEST(Validation, EmptyVectorFailsWith100AndBuildsNoArray) {
    TraceCapture trace;
    PipewayProviderImpl request("HOST\\user", {});
    EXPECT_EQ(request.Status(), 100);
    EXPECT_EQ(request.Argv(), nullptr);
    EXPECT_EQ(request.Argc(), 0u);
    EXPECT_TRUE(trace.Has("PipewayProviderImpl::IsValidOperation() : Not enough arguments\n"));
}

TEST(Validation, DuplicateLocalLoginIsLoggedAndIgnored) {
    TraceCapture trace;
    PipewayProviderImpl request("u",
                                {"daname=lumda64", "velcmd=x", "localLogin=a", "localLogin=b"});
    EXPECT_EQ(request.Status(), 0);
    EXPECT_EQ(request.Argc(), 4u);
    EXPECT_TRUE(
        trace.Has("PipewayProviderImpl::IsValidOperation() : Duplicate localLogin..Ignored\n"));
}

TEST(Validation, ValidationFailureNeverReachesAuthorization) {
    // Authorization is where a module would first be asked; a failed validation leaves
    // nothing behind in the trace but its own line.
    TraceCapture trace;
    PipewayProviderImpl request("u", {"daname=nosuch", "velcmd=x"});
    EXPECT_EQ(trace.Messages(),
              std::vector<std::string>{
                  "PipewayProviderImpl::IsValidOperation() : (Syntax error) Invalid DA Name\n"});
}

struct TrimCase {
    const char* text;
    const char* characters;
    int side;
    const char* expected;
};

class TrimStringTable : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimStringTable, RemovesTheCharactersFromTheGivenSide) {
    const TrimCase& c = GetParam();
    EXPECT_EQ(pw::core::TrimString(c.text, c.characters, c.side), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TrimStringTable,
    ::testing::Values(TrimCase{"  a b  ", " ", 0, "a b  "}, TrimCase{"  a b  ", " ", 1, "  a b"},
                      TrimCase{"  a b  ", " ", 2, "a b"}, TrimCase{"  a b  ", " ", 3, "  a b  "},
                      TrimCase{"  a b  ", " ", -1, "  a b  "}, TrimCase{"xyaxy", "xy", 2, "a"},
                      TrimCase{"    ", " ", 0, ""}, TrimCase{"    ", " ", 1, ""},
                      TrimCase{"", " ", 2, ""}));

TEST(TrimWhitespace, ControlCharactersBecomeBlanksAndOuterBlanksGo) {
    std::string text = "\t get\r\nobject \n";
    pw::core::TrimWhitespace(text);
    EXPECT_EQ(text, "get  object");
    std::string blanks = " \t\r\n ";
    pw::core::TrimWhitespace(blanks);
    EXPECT_EQ(blanks, "");
    std::string other = "\va\f";  // only CR, LF and tab are replaced
    pw::core::TrimWhitespace(other);
    EXPECT_EQ(other, "\va\f");
}

TEST(MatchesDAName, ExactOrWithSuffixAndCaseSensitive) {
    EXPECT_TRUE(pw::core::MatchesDAName("tarda64", "tarda64"));
    EXPECT_TRUE(pw::core::MatchesDAName("tarda", "tarda64"));
    EXPECT_FALSE(pw::core::MatchesDAName("Tarda", "tarda64"));
    EXPECT_FALSE(pw::core::MatchesDAName("tard", "tarda64"));
    EXPECT_FALSE(pw::core::MatchesDAName("tarda6464", "tarda64"));
    EXPECT_FALSE(pw::core::MatchesDAName("", "tarda64"));
}

}  // namespace
