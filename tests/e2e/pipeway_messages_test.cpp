// What a newcomer reads: each refusal says why in words, and the README's examples do what it
// says they do.
#include "tests/e2e/pipeway_fixture.h"

#include <fstream>
#include <ostream>

namespace pwtest {
namespace {

namespace fs = std::filesystem;

fs::path LivePolicy(const fs::path& stack) {
    return stack / "root" / "svx" / "pipeway" / "bin" / "authexclusion.xml";
}

// How often `part` stands in `text`.
std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

struct Refusal {
    const char* what;
    void (*make)(const fs::path& stack);  // brings the refusal about in the stack's copy
    std::vector<std::string> arguments;
    int status;
    std::vector<std::string> found;   // "{stack}" stands for the stack's folder
    std::vector<std::string> absent;  // never printed
};

// By its name: gtest would print the bytes of the value, padding included.
void PrintTo(const Refusal& refusal, std::ostream* os) {
    *os << refusal.what;
}

std::string InStack(std::string text, const fs::path& stack) {
    const std::string token = "{stack}";
    for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token)) {
        text.replace(at, token.size(), stack.string());
    }
    return text;
}

void NoChange(const fs::path&) {}

// The parser's own message and the scanner's copies of unmatched text, which the tool never
// shows as they are.
const std::vector<std::string> kRawParserOutput = {"syntax error, unexpected",
                                                   "exclusion file:", "!--"};

// clang-format off
const Refusal kRefusals[] = {
    {"NameInAnotherCase", NoChange, {"exec", "daname=PEXDA64 velcmd=getversion"}, 1,
     {"ResultCode: 102 (the daname value is not a known DA module)\n",
      "daname names one of the six DA modules lumda64, rukda64, kordo64, tarda64, mivda64, "
      "pexda64; a name without \"64\" is completed (lumda, rukda, kordo, tarda, mivda, pexda)",
      "The value is compared in its exact letter case; token names (daname, velcmd) are not\n",
      "pipeway: did you mean pexda64? run: ", "daname=pexda64 velcmd=getversion"}, {}},
    {"ShortNameInAnotherCase", NoChange, {"exec", "velcmd=gethostname daname= Lumda"}, 1,
     {"ResultCode: 102", "did you mean lumda64? run: ", "velcmd=gethostname daname=lumda64"}, {}},
    // The command meant is for the same client and in the same shape: one token an argument.
    {"NameInAnArray", NoChange, {"exec", "--array", "velcmd=x daname=Mivda64"}, 1,
     {"ResultCode: 102", "did you mean mivda64? run: ", " exec --array "}, {"--user"}},
#if !defined(_WIN32)
    {"NameForANamedClient", NoChange,
     {"exec", "--user", "HOST\\admin", "daname=TARDA velcmd=x"}, 1,
     {"did you mean tarda64? run: ", " exec --user 'HOST\\admin' 'daname=tarda64 velcmd=x'\n"},
     {}},
#endif
    {"NameOfNoModule", NoChange, {"exec", "daname=nosuch velcmd=x"}, 1,
     {"ResultCode: 102", "daname names one of the six DA modules"}, {"did you mean"}},
    {"ModuleThatIsNoLibrary",
     [](const fs::path& stack) { WriteFile(stack / LibraryFile("mivda64"), "x"); },
     {"exec", "daname=mivda64 velcmd=ping"}, 1,
     {"ResultCode: 105 (the DA module cannot be used: Unable to load the DA (error 193: ",
#if !defined(_WIN32)
      "mivda64.so: file too short))\n",
#endif
      "pipeway: event 1006 (error): mivda64 | Unable to load the DA (error 193: ",
      " module check mivda64\n"}, {}},
    {"MissingPolicy", [](const fs::path& stack) { fs::remove(LivePolicy(stack)); },
     {"exec", "daname=lumda64 velcmd=gethostname"}, 1,
     {"ResultCode: 200", "pipeway: the exclusion file {stack}", "authexclusion.xml cannot be "
      "used: it cannot be opened. Every caller is refused, the true administrator too"},
     kRawParserOutput},
    {"PolicyThatIsAFolder",
     [](const fs::path& stack) {
         fs::remove(LivePolicy(stack));
         fs::create_directory(LivePolicy(stack));
     },
     {"exec", "daname=lumda64 velcmd=gethostname"}, 1,
     {"ResultCode: 200",
#if defined(_WIN32)
      "authexclusion.xml cannot be used: it cannot be opened"},  // a folder opens as no file
#else
      "authexclusion.xml cannot be used: it is not a regular file"},
#endif
     kRawParserOutput},
    {"PolicyOverItsLimit",
     [](const fs::path& stack) {
         WriteFile(LivePolicy(stack), "<AUTHEXLIST>" + std::string(4 * 1024 * 1024, ' ') +
                                          "</AUTHEXLIST>\n");
     },
     {"exec", "daname=lumda64 velcmd=gethostname"}, 1,
     {"ResultCode: 200", "authexclusion.xml cannot be used: it is larger than 4194304 bytes"},
     kRawParserOutput},
    {"TraceLogThatCannotBeMade",
     [](const fs::path& stack) {
         const fs::path log = stack / "root" / "svx" / "pipeway" / "log";
         fs::remove_all(log);
         WriteFile(log, "a file where the log's folder belongs");
     },
     {"--trace", "exec", "daname=lumda64 velcmd=gethostname"}, 0,
     {"ResultCode: 0 (success)", "pipeway: tracing could not be switched on: the trace log "
      "{stack}"}, {"--- trace ---"}},
};
// clang-format on

class Refusals : public Pipeway, public ::testing::WithParamInterface<Refusal> {};

TEST_P(Refusals, SayWhyInWords) {
    const Refusal& c = GetParam();
    c.make(Stack());
    const ProgramRun run = Pipe(c.arguments);
    EXPECT_EQ(run.status, c.status) << run.output;
    for (const std::string& part : c.found) {
        EXPECT_TRUE(Contains(run.output, InStack(part, Stack()))) << part << " in:\n" << run.output;
    }
    for (const std::string& part : c.absent) {
        EXPECT_FALSE(Contains(run.output, part)) << part << " in:\n" << run.output;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Refusals, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<Refusal>& refusal) {
                             return std::string(refusal.param.what);
                         });

// A live file with a syntax error: the mistake is shown once, as policy check shows it, and
// never in the parser's own words.
TEST_F(Pipeway, BrokenPolicyIsShownOnceAsPolicyCheckShowsIt) {
    WriteFile(LivePolicy(Stack()),
              "<AUTHEXLIST><USER><COMMAND name=\"getauditlog\"/>\n<COMMAND name='getobject'/>"
              "</USER></AUTHEXLIST>\n");
    const ProgramRun run = Pipe({"exec", "daname=lumda64 velcmd=gethostname"});
    EXPECT_EQ(run.status, 0) << run.output;
    // The path as the install root and the stack's layout spell it, after the folder.
    const std::string error =
        "authexclusion.xml:2:16: syntax error: found 'getobject' where the file needs a double "
        "quote\n";
    EXPECT_EQ(Count(run.output, error), 1u) << run.output;
    EXPECT_EQ(Count(run.output, "syntax error"), 1u) << run.output;
    ExpectOutput(run, {"hint: values are written in double quotes",
                       "every command named after it is allowed to every role (getobject)"});
    for (const std::string& raw : kRawParserOutput) {
        EXPECT_FALSE(Contains(run.output, raw)) << raw << " in:\n" << run.output;
    }
}

// explain on a broken file says so, where, and that its decision is the provider's with the
// entries before the error; it exits with 1, as the README says, whatever the decision.
TEST_F(Pipeway, PolicyExplainOnABrokenFileSaysWhatItsDecisionRestsOn) {
    const fs::path file = Stack() / "broken.xml";
    WriteFile(file,
              "<AUTHEXLIST><USER><COMMAND name=\"getauditlog\"/>\n<COMMAND name='getobject'/>"
              "</USER></AUTHEXLIST>\n");
    const ProgramRun after = Pipe({"policy", "explain", "--file", file.string(), "--mask", "1",
                                   "daname=lumda64 velcmd=getobject"});
    ExpectRun(after, 1,
              {"warning: the file is broken: a syntax error at line 2, column 16 (pipeway policy "
               "check " +
                   file.string() +
                   " shows it). The decisions below are the provider's "
                   "with the 1 entry before the error; it ignores the rest of the file\n",
               "decision: authorized\n",
               "reason: no entry refuses the command or its tokens before the error\n",
               "note: the file names getobject after the error, where the provider does not "
               "read"});
    const ProgramRun before = Pipe({"policy", "explain", "--file", file.string(), "--mask", "1",
                                    "daname=lumda64 velcmd=getauditlog"});
    ExpectRun(before, 1, {"decision: refused\n", "refused by key getauditlog"});
    EXPECT_FALSE(Contains(before.output, "note: ")) << before.output;
}

#if !defined(_WIN32)
// The words of a command line in the README, as the shell reads them: single and double
// quotes, and a comment from " #" on.
std::vector<std::string> ShellLine(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            } else {
                word += c;
            }
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (c == ' ') {
            if (inWord) {
                words.push_back(word);
            }
            word.clear();
            inWord = false;
            if (line.compare(i, 2, " #") == 0) {
                return words;
            }
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

// The README's lines that start with `start` and hold `part`.
std::vector<std::string> ReadmeLines(const std::string& start, const std::string& part) {
    std::ifstream readme(fs::path(PW_SOURCE_DIR) / "README.md");
    std::vector<std::string> lines;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind(start, 0) == 0 && Contains(line, part)) {
            lines.push_back(line);
        }
    }
    return lines;
}

// The walkthrough's administrator example, as the README writes it, succeeds on the sample
// stack: the command the same walkthrough shows refused to a user.
TEST_F(Pipeway, ReadmeAdministratorExampleSucceeds) {
    const std::vector<std::string> lines = ReadmeLines("tools/demo exec --user ", "HOST\\admin");
    ASSERT_EQ(lines.size(), 1u);
    std::vector<std::string> words = ShellLine(lines[0]);
    ASSERT_GE(words.size(), 4u) << lines[0];
    words.erase(words.begin());  // tools/demo runs pipeway on the sample stack
    const ProgramRun admin = Pipe(words);
    ExpectRun(admin, 0, {"ResultCode: 0 (success)\n", "<IPAddress>"});
    EXPECT_FALSE(Contains(admin.output, "<Error>")) << admin.output;

    words.erase(words.begin() + 1, words.begin() + 3);  // the same without --user
    ExpectRun(Pipe(words), 1, {"ResultCode: 200"});
}

// A module with a library of its own beside it loads from a stack it was copied into; without
// that library the call ends with 105 and the loader's words name it.
TEST_F(Pipeway, ModuleFindsItsOwnLibraryBesideIt) {
    const fs::path module = DAFolder("dependency") / LibraryFile("pexda64");
    const fs::path library = DAFolder("dependency-library") / "libpwdadep.so";
    fs::copy_file(module, Stack() / LibraryFile("pexda64"), fs::copy_options::overwrite_existing);
    ExpectRun(Pipe({"exec", "daname=pexda64 velcmd=x"}), 1,
              {"ResultCode: 105 (the DA module cannot be used: Unable to load the DA (error 126: ",
               "libpwdadep.so: cannot open shared object file"});
    fs::copy_file(library, Stack() / "libpwdadep.so");
    ExpectRun(Pipe({"exec", "daname=pexda64 velcmd=x"}), 0, {"ReturnValue: <FromDependency/>\n"});
}
#endif

}  // namespace
}  // namespace pwtest
