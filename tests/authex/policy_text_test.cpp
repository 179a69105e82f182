// The commands a broken file's rest names, read as the store's scanner reads the file: what
// the syntax-error event and the tool say is now allowed to every role.
#include "tests/support/test_support.h"

#include "authex/policy_text.h"

#include <string>
#include <vector>

namespace {

struct NamedCase {
    const char* what;
    const char* text;
    std::vector<std::string> names;
};

class CommandsNamed : public ::testing::TestWithParam<NamedCase> {};

TEST_P(CommandsNamed, AreTheCommandElementsInFileOrderOnce) {
    EXPECT_EQ(CommandsNamedFrom(GetParam().text, 0), GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandsNamed,
    ::testing::Values(
        NamedCase{
            "DoubleQuotes", "<COMMAND name=\"a\"/><COMMAND name=\"b\"></COMMAND>", {"a", "b"}},
        NamedCase{"SingleQuotes", "<COMMAND name='a'/>", {"a"}},
        // The scanner reads "name=b/" and "=c/" as one name each: the "=" still ends the
        // attribute's name.
        NamedCase{"UnquotedNames",
                  "<COMMAND name=b/><COMMAND NAME =c/><COMMAND name= d/>",
                  {"b/", "c/", "d/"}},
        NamedCase{
            "AnyCaseAndBlanks", "< command\tNAME = \"a\" />\n<Command\nName=\"b\"/>", {"a", "b"}},
        NamedCase{"EachOnce", "<COMMAND name=\"a\"/><COMMAND name=\"a\"/>", {"a"}},
        NamedCase{"OtherElementsAndParamsLeftOut",
                  "<USER><PARAM name=\"p\"/><COMMAND name=\"c\"><PARAM name=\"q\"/></COMMAND>",
                  {"c"}},
        NamedCase{"NoBlankAfterTheTag", "<COMMANDname=\"a\"/>", {}},
        NamedCase{"NameCharacters", "<COMMAND name=\"set/obj=x\"/>", {"set/obj=x"}}),
    pwtest::CaseName());

TEST(CommandsNamedFrom, StartsAtTheElementOfTheError) {
    const std::string text = "<COMMAND name=\"before\"/>\n<COMMAND name='after'/>\n";
    EXPECT_EQ(CommandsNamedFrom(text, ElementAtError(text, 2, 16)),
              std::vector<std::string>{"after"});
}

}  // namespace
