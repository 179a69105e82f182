// Starting a program with no shell in between: arguments arrive as given, both output streams
// are collected, and a program that cannot start is named with the system's error code.
#include "child_process.h"
#include "test_support.h"

namespace pwtest {
namespace {

namespace fs = std::filesystem;

fs::path Program(const fs::path& folder, const std::string& name) {
#if defined(_WIN32)
    return folder / (name + ".exe");
#else
    return folder / name;
#endif
}

TEST(RunProgram, PassesEveryArgumentUnchangedAndCollectsBothStreams) {
    // Blanks, quotes, backslashes before a quote and at the end, an empty argument, and the
    // characters a shell would expand.
    const std::vector<std::string> arguments = {
        "plain",      "two words",       "",
        "say \"hi\"", "back\\slash",     "end\\",
        "end\\\\",    "quote\\\"inside", "$HOME `x` %PATH% & | > <",
        "\ttab"};
    const ProgramRun run = RunProgram(Program(ProgramFolder(), "print_arguments"), arguments);
    EXPECT_EQ(run.error, "");
    EXPECT_EQ(run.status, 3);
    std::string expected;
    for (const std::string& argument : arguments) {
        expected += "[" + argument + "]\n";
    }
    EXPECT_EQ(run.output, expected + "to standard error\n");
}

TEST(RunProgram, ProgramThatDoesNotExistIsNamedWithTheErrorCode) {
    const TempDir folder;
    const fs::path missing = Program(folder.path(), "no-such-program");
    const ProgramRun run = RunProgram(missing, {"a"});
    EXPECT_EQ(run.status, -1);
    EXPECT_EQ(run.output, "");
    EXPECT_NE(run.error.find("cannot start " + missing.string() + ": "), std::string::npos)
        << run.error;
#if defined(_WIN32)
    EXPECT_NE(run.error.find("error 2"), std::string::npos) << run.error;  // file not found
#else
    EXPECT_NE(run.error.find("(errno 2)"), std::string::npos) << run.error;  // ENOENT
#endif
}

}  // namespace
}  // namespace pwtest
