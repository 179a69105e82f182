// The pipeway tool run as a process against a temporary copy of the sample stack.
#include "tests/e2e/pipeway_fixture.h"

#include "pw/stack_files.h"
#include "pw/stack_layout.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <fstream>

namespace pwtest {
namespace {

namespace fs = std::filesystem;

TEST_F(Pipeway, JsonCarriesTheHresultCodeAndAnswer) {
    const ProgramRun run = Pipe({"exec", "--json", "daname=lumda64", "velcmd=getobject"});
    EXPECT_EQ(run.status, 0) << run.output;
    const nlohmann::json answer = JsonLine(run.output);
    ASSERT_TRUE(answer.is_object()) << run.output;
    EXPECT_EQ(answer.value("hresult", ""), "0x00000000") << run.output;
    EXPECT_EQ(answer.value("resultCode", -1), 0) << run.output;
    EXPECT_EQ(answer.value("returnValue", "").rfind("<Response module=\"lumda64\">", 0), 0u)
        << run.output;
}

// The exclusion file's scanner copies the file's line ends to the provider's standard output;
// the tool catches them there (on Windows the provider library writes through its own copy of
// the C++ runtime), so --json prints its one line and nothing else.
TEST_F(Pipeway, JsonIsTheWholeOutputWhateverThePolicyScannerCopies) {
    const fs::path live = Stack() / "root" / "svx" / "pipeway" / "bin" / "authexclusion.xml";
    WriteFile(live,
              "\r\n\n<AUTHEXLIST>\n\n<USER>\n<COMMAND name=\"setobject\"/>\n\n</USER>\n"
              "</AUTHEXLIST>\n\n\n");
    const ProgramRun run = Pipe({"exec", "--json", "daname=lumda64 velcmd=getobject"});
    EXPECT_EQ(run.status, 0) << run.output;
    ASSERT_FALSE(run.output.empty());
    EXPECT_EQ(run.output.front(), '{') << run.output;
    EXPECT_EQ(run.output.find('\n'), run.output.size() - 1) << run.output;
    EXPECT_TRUE(nlohmann::json::parse(run.output, nullptr, false).is_object()) << run.output;
}

#if !defined(_WIN32)
// Quotes, backslashes and text beyond ASCII in a module's answer come back unchanged.
TEST_F(Pipeway, JsonKeepsEveryCharacterOfTheAnswer) {
    const ProgramRun run = Pipe(
        {"exec", "--json", "daname=lumda64", "velcmd=echo", "note=caf\xc3\xa9 \\ \xe2\x98\x95"});
    const nlohmann::json answer = JsonLine(run.output);
    ASSERT_TRUE(answer.is_object()) << run.output;
    EXPECT_TRUE(Contains(answer.value("returnValue", ""),
                         "<Token>note=caf\xc3\xa9 \\ \xe2\x98\x95</Token>"))
        << run.output;
}
#endif

// A refused command exits with 1, no answer, and where to look; help lists the codes.
TEST_F(Pipeway, RefusedCommandExitsWithOneAndNoAnswerAndPointsToPolicyExplain) {
    const ProgramRun run = Pipe({"exec", "--json", "daname=lumda64 velcmd=setobject"});
    ExpectRun(run, 1, {" policy explain --user "});
    EXPECT_EQ(JsonLine(run.output),
              nlohmann::json({{"hresult", "0x00000000"},
                              {"resultCode", 200},
                              {"resultText", "the caller is not authorized to run the command"}}))
        << run.output;
    ExpectOutput(Pipe({"--help"}),
                 {"  105  the DA module cannot be used\n",
                  "  policy explain [--file FILE] [--mask MASK] [--user USER] ARG...\n"});
    // The codes are exec's: other commands' help ends with the exit statuses alone.
    ExpectOutput(Pipe({"exec", "--help"}), {"  105  the DA module cannot be used\n"});
    EXPECT_FALSE(Contains(Pipe({"module", "check", "--help"}).output, "ResultCode (exec)"));
}

// The words of a command line as a shell gives them to the program: single quotes keep every
// byte, double quotes every byte but an escaped quote (as the C runtime reads them).
std::vector<std::string> ShellWords(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ') {
            if (inWord) {
                words.push_back(word);
            }
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            const std::size_t close = line.find('\'', i + 1);
            word += line.substr(i + 1, close - i - 1);
            i = close;
        } else if (c == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                const bool escaped = line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '"';
                word += escaped ? line[++i] : line[i];
            }
        } else if (c == '\\' && i + 1 < line.size() && line[i + 1] == '\'') {
            word += line[++i];
        } else {
            word += c;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

// The command a hint line of `output` gives after "run: ", split into its words.
std::vector<std::string> HintCommand(const std::string& output) {
    const std::size_t run = output.find("run: ");
    if (run == std::string::npos) {
        return {};
    }
    const std::size_t end = output.find('\n', run);
    return ShellWords(output.substr(run + 5, end - run - 5));
}

// After a module or policy refusal, exec names a command that works when pasted: this program
// by its path, the same stack (here one whose folder needs quoting) and the same client.
TEST_F(Pipeway, HintsAreCommandsThatAnswerAboutTheSameStack) {
    const fs::path stack = m_stack.path() / "a stack's copy";
    fs::rename(Stack(), stack);
#if defined(_WIN32)
    SetLibraryDirectory(stack.string());
#endif
    fs::remove(stack / LibraryFile("lumda64"));
    const ProgramRun unusable = PipeIn(stack, {"exec", "daname=lumda64 velcmd=getobject"});
    EXPECT_TRUE(Contains(unusable.output,
                         "ResultCode: 105 (the DA module cannot be used: Unable to load the DA "
                         "(error 126: "))
        << unusable.output;
    const std::vector<std::string> check = HintCommand(unusable.output);
    ASSERT_GE(check.size(), 2u) << unusable.output;
    const ProgramRun checked = RunProgram(check[0], {check.begin() + 1, check.end()});
    EXPECT_TRUE(Contains(checked.output, "file: not found: " + LibraryFile("lumda64") +
                                             " was looked for in\n  " + stack.string() + "\n"))
        << Words(check) << "\n"
        << checked.output;
    EXPECT_TRUE(Contains(checked.output, "verdict: the provider cannot use lumda64\n"))
        << checked.output;

    const ProgramRun refused = PipeIn(stack, {"exec", "daname=lumda64 velcmd=setobject"});
    const std::vector<std::string> explain = HintCommand(refused.output);
    ASSERT_GE(explain.size(), 2u) << refused.output;
    const ProgramRun explained = RunProgram(explain[0], {explain.begin() + 1, explain.end()});
    EXPECT_TRUE(Contains(explained.output, "policy: " + stack.string())) << explained.output;
    EXPECT_TRUE(Contains(explained.output, "decision: refused\n")) << explained.output;
    EXPECT_EQ(explained.status, 1) << explained.output;
}

TEST_F(Pipeway, FolderThatIsNotAStackIsAUsageErrorAndStaysUntouched) {
    const fs::path empty = m_stack.path() / "empty";
    fs::create_directories(empty);
    const ProgramRun run = PipeIn(empty, {"--trace", "exec", "daname=lumda64 velcmd=getobject"});
    ExpectRun(run, 64,
              {"is not a stack: it lacks the common-services library " + LibraryFile("kordo64") +
               " and the rights module " + LibraryFile("rukda64")});
    EXPECT_TRUE(fs::is_empty(empty));

    fs::remove_all(Stack() / "root");
    ExpectRun(Pipe({"--trace", "enum"}), 64, {"it lacks the install root "});
    EXPECT_FALSE(fs::exists(Stack() / "root"));
}

TEST_F(Pipeway, TraceShowsTheRequestsLinesAndSwitchesOffAgain) {
    ExpectRun(Pipe({"--trace", "exec", "daname=lumda64 velcmd=setobject"}), 1,
              {"--- trace ---", "-->PipewayProviderImpl::ExecuteMethod() - Unauthorised user"});
    EXPECT_FALSE(fs::exists(Stack() / "root" / "svx" / "pipeway" / "log" / "WinPipeway.log"));
}

TEST_F(Pipeway, EnumerationAndLookupPrintTheInstance) {
    const ProgramRun enumeration = Pipe({"enum"});
    EXPECT_EQ(enumeration.status, 0) << enumeration.output;
    EXPECT_TRUE(Contains(enumeration.output, "InstanceID: ZOLM_OEM_DataAccessModule1\n"));
    EXPECT_TRUE(Contains(enumeration.output, "KestroIPv4: "));
    const ProgramRun lookup = Pipe({"get", "ZOLM_OEM_DataAccessModule.InstanceID=1", "--json"});
    EXPECT_EQ(lookup.status, 0) << lookup.output;
    EXPECT_EQ(JsonLine(lookup.output).value("InstanceID", ""), "ZOLM_OEM_DataAccessModule1")
        << lookup.output;
    ExpectRun(Pipe({"get", "ZOLM_OEM_DataAccessModule"}), 2, {"WBEM_E_INVALID_PARAMETER"});
}

TEST_F(Pipeway, UsageErrorsExitWith64AndHelpWithZero) {
    // clang-format off
    const std::vector<std::string> usageErrors[] = {
        {}, {"bogus"}, {"exec"}, {"exec", "--level", "high", "a=b"}, {"get"}, {"enum", "extra"},
        {"--frobnicate", "enum"}, {"exec", "--bogus", "a=b"}, {"register", "now"}, {"--stack"},
        {"policy"}, {"policy", "list"}, {"policy", "check"}, {"policy", "explain", "a=b"},
        {"policy", "explain", "--mask", "-1", "a=b"},
        {"policy", "explain", "--mask", "1", "--user", "x", "a=b"}};
    // clang-format on
    for (const std::vector<std::string>& arguments : usageErrors) {
        const ProgramRun run = Pipe(arguments);
        EXPECT_EQ(run.status, 64) << Words(arguments) << ": " << run.output;
        EXPECT_TRUE(Contains(run.output, "pipeway: ")) << run.output;
    }
    const ProgramRun help = Pipe({"exec", "--help"});
    EXPECT_EQ(help.status, 0);
    ExpectOutput(help, {"Usage: pipeway exec", "--level"});
}

// The path after "served by " in a --verbose run.
fs::path ServingLibrary(const std::string& output) {
    const std::string marker = "pipeway: served by ";
    const std::size_t start = output.find(marker);
    if (start == std::string::npos) {
        return {};
    }
    const std::size_t from = start + marker.size();
    return output.substr(from, output.find('\n', from) - from);
}

TEST_F(Pipeway, VerboseSaysHowTheProviderWasCreatedAndWhichLibraryServed) {
    const fs::path beside = ProviderLibraryPath();
    const ProgramRun loaded = Pipe({"--verbose", "exec", "daname=lumda64 velcmd=getobject"});
    ExpectRun(loaded, 0, {"provider created from the library beside pipeway"});
    std::error_code error;
    EXPECT_TRUE(fs::equivalent(ServingLibrary(loaded.output), beside, error)) << loaded.output;
#if defined(_WIN32)
    // Registered, the class is created through COM, as the WMI service creates it.
    ASSERT_EQ(Pipe({"register"}).status, 0);
    const ProgramRun registered = Pipe({"--verbose", "exec", "daname=lumda64 velcmd=getobject"});
    EXPECT_EQ(Pipe({"unregister"}).status, 0);
    ExpectRun(registered, 0,
              {"provider created through the registered class "
               "iPipewayProvider.WMIPipewayProvider "
               "{6B1E7C52-3A4D-4F8B-9C2E-5D7A1F3B8E40}"});
    EXPECT_TRUE(fs::equivalent(ServingLibrary(registered.output), beside, error))
        << registered.output;
#endif
}

TEST_F(Pipeway, UnreadableStackIsNamed) {
    fs::remove_all(Stack());
    ExpectRun(Pipe({"enum"}), 64, {"cannot be read"});
}

// Runs that end with a status and print a text (and not another): every result code with its
// explanation, every sample module's answer, the call's failure at the identify level. The sample
// modules answer only their own commands, matched exactly, and the sample rights module matches
// whole account names: what users copy from them is safe.
struct RunCase {
    std::vector<std::string> arguments;
    int status;
    const char* found;
    const char* absent = nullptr;
};

const RunCase kRunCases[] = {
    // clang-format off
        {{"exec", "danme=lumda64 velcmd=gethostname"}, 1, "ResultCode: 101 (no daname token)\n"},
        {{"exec", "daname=nosuch velcmd=x"}, 1,
         "ResultCode: 102 (the daname value is not a known DA module)\n"},
        {{"exec", "daname=lumda64"}, 1, "ResultCode: 103 (no velcmd token)\n"},
        {{"exec", "daname=lumda64", "velcmd=x", "extra"}, 1, "ResultCode: 104 (syntax error: a "
         "token without '=', or a second daname or velcmd token)\n"},
        {{"exec", "daname=lumda64 velcmd=setobject"}, 1,
         "ResultCode: 200 (the caller is not authorized to run the command)\n"},
        {{"exec", "daname=lumda64 velcmd=gethostname"}, 0, "ResultCode: 0 (success)\n"},
        {{"exec", "daname=lumda64 velcmd=gethostname"}, 0,
         "ReturnValue: <Response module=\"lumda64\"><HostName>"},
        {{"exec", "--level", "identify", "daname=lumda64 velcmd=getobject"}, 2,
         "call failed: 0x80041003 WBEM_E_ACCESS_DENIED"},
        {{"exec", "daname=mivda64 velcmd=ping"}, 0, "<Pong module=\"mivda64\"/>"},
        {{"exec", "daname=pexda64 velcmd=getversion"}, 0,
         "<Version module=\"pexda64\">1.0.0</Version>"},
        {{"exec", "daname=lumda64 velcmd=getosinfo"}, 0, "<OSName>"},
        {{"exec", "daname=lumda64 velcmd=getuptime"}, 0, "<UptimeSeconds>"},
        {{"exec", "daname=kordo64 velcmd=getrootinstallpath"}, 0, "/root</RootInstallPath>"},
        {{"exec", "daname=tarda64 velcmd=getchildlist byobjtype=417"}, 0, "<GLAddress>"},
        // A token of a refused command does not give its answer under another command.
        {{"exec", "daname=tarda64 velcmd=x byobjtype=322"}, 0, "<Error>unknown command</Error>",
         "<IPAddress>"},
        {{"exec", "daname=lumda64 velcmd=GetHostName"}, 0, "<Error>unknown command</Error>",
         "<HostName>"},
        {{"exec", "daname=mivda64 velcmd=pingx"}, 0, "<Error>unknown command</Error>", "<Pong"},
        // The whole account name decides, in any letter case.
        {{"policy", "explain", "--user", "host\\ADMIN", "daname=lumda64 velcmd=x"}, 0, "mask: 4 "},
        {{"policy", "explain", "--user", "OTHER\\admin", "daname=lumda64 velcmd=x"}, 0, "mask: 1 "},
        // The rights query as a client's command: refused to users and power users.
        {{"exec", "daname=rukda64 velcmd=getuserrightsonly user=HOST\\Administrator"}, 1,
         "ResultCode: 200", "<UserRightsMask>"},
#if !defined(_WIN32)
        {{"exec", "--user", "HOST\\operator",
          "daname=rukda64 velcmd=getuserrightsonly user=HOST\\Administrator"}, 1, "ResultCode: 200",
         "<UserRightsMask>"},
        {{"exec", "--user", "HOST\\admin",
          "daname=rukda64 velcmd=getuserrightsonly user=HOST\\operator"}, 0,
         "<UserRightsMask>2</UserRightsMask>"},
        // A named user gets that user's rights.
        {{"exec", "--user", "HOST\\admin", "daname=lumda64 velcmd=setobject"}, 0, "ResultCode: 0"},
#else
        // A named user is refused on Windows, where the client is the account running the tool.
        {{"exec", "--user", "someone", "daname=lumda64 velcmd=setobject"}, 64,
         "--user is not available on Windows"},
#endif
    // clang-format on
};

TEST_F(Pipeway, RunsEndWithTheirStatusAndText) {
    for (const RunCase& c : kRunCases) {
        SCOPED_TRACE(Words(c.arguments));
        const ProgramRun run = Pipe(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.output;
        EXPECT_TRUE(Contains(run.output, c.found)) << run.output;
        if (c.absent != nullptr) {
            EXPECT_FALSE(Contains(run.output, c.absent)) << run.output;
        }
    }
}

// The rights file of the sample stack decides the caller's mask; the common-services module
// stores an uploaded certificate under the install root.
TEST_F(Pipeway, RightsFileDecidesWhoMayUploadACertificate) {
    const std::string upload =
        "velcmd=setUploadVandryCertificate CertificateStringLength=11 "
        "CertificateString=AB CD=EF GH daname=kordo64";
    const fs::path certificate = Stack() / "root" / "svx" / "pipeway" / "cert" / "vandry.crt";
    fs::remove(certificate);  // left in the built stack by a manual run
    WriteFile(Stack() / "userrights.txt", "# everyone a power user\n*  2\n");
    ProgramRun run = Pipe({"exec", upload});
    ExpectRun(run, 1, {"ResultCode: 200"});
    EXPECT_FALSE(fs::exists(certificate));

    WriteFile(Stack() / "userrights.txt", "*  4\n");
    ExpectRun(Pipe({"exec", upload}), 0, {"<Size>11</Size>"});
    EXPECT_EQ(ReadFile(certificate), "AB CD=EF GH");
}

TEST_F(Pipeway, PolicyCheckPrintsTheRoleTable) {
    const fs::path policy = Stack() / "root" / "svx" / "pipeway" / "bin" / "authexclusion.xml";
    ExpectRun(
        Pipe({"policy", "check", policy.string()}), 0,
        {"key                         role  section\n", "getchildlistbyobjtype=322   1     USER\n",
         "setobjectobjtype=firmware   4     ADMIN\n", "9 entries\n"});
}

TEST_F(Pipeway, PolicyCheckSaysWhereAndWhyAFileIsBroken) {
    const struct {
        const char* file;
        const char* text;
        std::vector<std::string> lines;
    } mistakes[] = {
        {"m3.xml",
         "<AUTHEXLIST>\n<USER>\n<COMMAND name=\"getobject\"/>\n<COMMAND name='setobject'/>\n"
         "</USER>\n</AUTHEXLIST>\n",
         {"m3.xml:4:16: syntax error: found 'setobject' where the file needs a double quote\n",
          "hint: values are written in double quotes: name=\"setobject\"",
          "The provider keeps the 1 entry read before this point and ignores the rest of the "
          "file: every command named after it is allowed to every role (setobject).\n"}},
        {"declaration.xml",
         "<?xml version=\"1.0\"?>\n<AUTHEXLIST><USER><COMMAND name=\"setobject\"/></USER>"
         "</AUTHEXLIST>\n",
         {"declaration.xml:1:3: syntax error: found 'xml' where the file needs AUTHEXLIST\n",
          "hint: an XML declaration (<?xml ...?>) is not part of the format: remove it\n",
          "allowed to every role (setobject)"}},
        {"comment.xml",
         "<AUTHEXLIST>\n<!-- the users -->\n<USER><COMMAND name=\"setobject\"/></USER>\n"
         "</AUTHEXLIST>\n",
         {"comment.xml:2:6: syntax error: found 'the' where the file needs ADMIN, POWERUSER or "
          "USER\n",
          "hint: comments (<!-- ... -->) are not part of the format: remove them\n"}},
        {"unclosed.xml",
         "<AUTHEXLIST>\n<USER>\n<COMMAND name=\"x\">\n</USER>\n",
         {"unclosed.xml:4:3: syntax error: found 'USER' where the file needs COMMAND\n",
          "hint: this tag does not close the element that is open here"}},
    };
    for (const auto& mistake : mistakes) {
        const fs::path broken = Stack() / mistake.file;
        WriteFile(broken, mistake.text);
        const ProgramRun run = Pipe({"policy", "check", broken.string()});
        EXPECT_EQ(run.status, 1) << run.output;
        for (const std::string& line : mistake.lines) {
            // The tool names the file as it was given; the message starts with its name.
            EXPECT_TRUE(Contains(run.output, line.substr(0, line.find(':')) == mistake.file
                                                 ? broken.string() + line.substr(line.find(':'))
                                                 : line))
                << line << " in:\n"
                << run.output;
        }
        EXPECT_FALSE(Contains(run.output, "key ")) << run.output;
    }
}

TEST_F(Pipeway, PolicyCheckWarnsOfAKeyGivenTwiceAndRefusesAMissingFile) {
    const fs::path twice = Stack() / "twice.xml";
    WriteFile(twice,
              "<AUTHEXLIST>\n<USER><COMMAND name=\"a\"/></USER>\n"
              "<ADMIN><COMMAND name=\"a\"/></ADMIN>\n</AUTHEXLIST>\n");
    ExpectRun(Pipe({"policy", "check", twice.string()}), 0,
              {twice.string() + ":3: warning: the key 'a' is given again (role 1 before, "
                                "role 4 here): this later entry is the one that stands"});

    ExpectRun(Pipe({"policy", "check", (Stack() / "missing.xml").string()}), 1,
              {"missing.xml cannot be used: it cannot be opened"});
}

// A policy whose second line breaks it at column 16, after one entry.
fs::path WriteBrokenPolicy(const fs::path& folder) {
    const fs::path file = folder / "broken.xml";
    WriteFile(file,
              "<AUTHEXLIST><USER><COMMAND name=\"getauditlog\"/>\n<COMMAND name='getobject'/>"
              "</USER></AUTHEXLIST>\n");
    return file;
}

TEST_F(Pipeway, PolicyExplainNamesTheRefusingKey) {
    const struct {
        const char* mask;
        const char* commandLine;
        int status;
        const char* reason;
    } cases[] = {
        {"1", "daname=lumda64 velcmd=getchildlist byobjtype=322", 1,
         "refused by key getchildlistbyobjtype=322 (role 1, USER section)"},
        {"1", "daname=lumda64 velcmd=getchildlist byobjtype=417", 0,
         "no entry refuses the command or its tokens"},
        {"3", "daname=lumda64 velcmd=setUploadVandryCertificate", 1,
         "refused by key setUploadVandryCertificate (role 2, POWERUSER section)"},
        {"4", "daname=lumda64 velcmd=setobject objtype=firmware", 1,
         "refused by key setobjectobjtype=firmware (role 4, ADMIN section)"},
        {"0x40007", "daname=lumda64 velcmd=setobject objtype=firmware", 0,
         "the true administrator is never refused"},
        {"0", "daname=lumda64 velcmd=getobject", 1, "none of the role bits"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = Pipe({"policy", "explain", "--mask", c.mask, c.commandLine});
        EXPECT_EQ(run.status, c.status) << c.commandLine << ": " << run.output;
        EXPECT_TRUE(Contains(run.output, c.reason)) << c.commandLine << ": " << run.output;
    }
    const ProgramRun missing =
        Pipe({"policy", "explain", "--file", (Stack() / "missing.xml").string(), "--mask",
              "0x40007", "daname=lumda64 velcmd=getobject"});
    ExpectRun(missing, 1, {"everyone is refused"});
    const ProgramRun broken =
        Pipe({"policy", "explain", "--file", WriteBrokenPolicy(Stack()).string(), "--mask", "1",
              "daname=lumda64 velcmd=getobject"});
    ExpectRun(broken, 1,
              {"decision: authorized\n",
               "warning: the file is broken: a syntax error at line 2, column 16"});
}

// The policy decides on tokens as written; a third token "$$manglevalue=" reaches the module
// decoded, and explain says when a parameter entry would refuse what it becomes.
TEST_F(Pipeway, PolicyExplainWarnsOfADecodedValueThePolicyWouldRefuse) {
    const fs::path policy = Stack() / "values.xml";
    WriteFile(policy,
              "<AUTHEXLIST><USER><COMMAND name=\"setobject\"><PARAM name=\"value=secret\"/>"
              "</COMMAND></USER></AUTHEXLIST>");
    const std::string mangled = "$$manglevalue=115101099114101116";  // "secret"
    const std::string line = "daname=lumda64 velcmd=setobject " + mangled;
    ProgramRun run = Pipe({"policy", "explain", "--file", policy.string(), "--mask", "1", line});
    ExpectRun(
        run, 0,
        {"decision: authorized\n", "warning: the token " + mangled +
                                       " reaches the module decoded, as value=secret, which "
                                       "the entry setobjectvalue=secret (role 1, USER section) "
                                       "refuses"});
    // The same value written plainly is refused; a power user is not refused either way.
    run = Pipe({"policy", "explain", "--file", policy.string(), "--mask", "1",
                "daname=lumda64 velcmd=setobject value=secret"});
    EXPECT_EQ(run.status, 1) << run.output;
    run = Pipe({"policy", "explain", "--file", policy.string(), "--mask", "2", line});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_FALSE(Contains(run.output, "warning:")) << run.output;
}

// What an operation made the provider report to the event log, exec shows on standard error.
TEST_F(Pipeway, ExecShowsTheEventsTheProviderReported) {
    const fs::path live = Stack() / "root" / "svx" / "pipeway" / "bin" / "authexclusion.xml";
    EXPECT_FALSE(Contains(Pipe({"exec", "daname=lumda64 velcmd=echo"}).output, "event"));
    WriteFile(live, ReadFile(WriteBrokenPolicy(Stack())));
    const ProgramRun run = Pipe({"exec", "daname=lumda64 velcmd=echo"});
    ExpectOutput(run,
                 {"pipeway: event 1002 (warning): ", "authexclusion.xml | 2:16 | getobject\n"});
}

// A new policy replaces the live one in one step, and only when it passes the check.
TEST_F(Pipeway, PolicyInstallReplacesTheLiveFileOnlyWithACheckedOne) {
    const fs::path live = Stack() / "root" / "svx" / "pipeway" / "bin" / "authexclusion.xml";
    const std::string before = ReadFile(live);
    const fs::path broken = WriteBrokenPolicy(Stack());
    ProgramRun run = Pipe({"policy", "install", broken.string()});
    ExpectRun(run, 1, {"is not installed"});
    EXPECT_EQ(ReadFile(live), before);
    EXPECT_FALSE(fs::exists(live.string() + ".new"));
    EXPECT_FALSE(fs::exists(live.string() + ".previous"));

    const fs::path next = Stack() / "next.xml";
    const std::string policy =
        "<AUTHEXLIST><USER><COMMAND name=\"gethostname\"/></USER></AUTHEXLIST>\n";
    WriteFile(next, policy);
    EXPECT_EQ(Pipe({"exec", "daname=lumda64 velcmd=gethostname"}).status, 0);
    ExpectRun(Pipe({"policy", "install", next.string()}), 0,
              {"takes effect: at the next provider load"});
    EXPECT_EQ(ReadFile(live), policy);
    EXPECT_EQ(ReadFile(live.string() + ".previous"), before);
    EXPECT_FALSE(fs::exists(live.string() + ".new"));
    // The next provider load, here the next process, reads it.
    run = Pipe({"exec", "daname=lumda64 velcmd=gethostname"});
    EXPECT_TRUE(Contains(run.output, "ResultCode: 200")) << run.output;

    // Installed again, the one it replaces becomes the previous one.
    run = Pipe({"policy", "install", broken.string() + ".none"});
    EXPECT_EQ(run.status, 1) << run.output;
    WriteFile(next, before);
    run = Pipe({"policy", "install", next.string()});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(ReadFile(live), before);
    EXPECT_EQ(ReadFile(live.string() + ".previous"), policy);
}

// What someone who may create files in the policy's folder plants at a name the install uses:
// the install never writes through it, never blocks on it, and the live file it leaves is a
// new file of the live file's owner and mode with one link.
struct PlantedObject {
    const char* what;
    const char* at;  // the suffix of the live file's name
    // Makes it at `at`; `victim` is a file it may point to. False when this platform cannot.
    bool (*make)(const fs::path& at, const fs::path& victim);
    bool refused;  // the install refuses, naming it, and changes nothing
};

const PlantedObject kPlanted[] = {
    {"HardLinkAtStaging", ".new",
     [](const fs::path& at, const fs::path& victim) {
         fs::create_hard_link(victim, at);
         return true;
     },
     false},
    {"HardLinkAtPrevious", ".previous",
     [](const fs::path& at, const fs::path& victim) {
         fs::create_hard_link(victim, at);
         return true;
     },
     false},
    {"FolderAtPrevious", ".previous",
     [](const fs::path& at, const fs::path&) { return fs::create_directory(at); }, true},
#if !defined(_WIN32)
    // Another user's file, writable by all, where earlier versions staged the new policy.
    {"ForeignFileAtStaging", ".new",
     [](const fs::path& at, const fs::path&) {
         WriteFile(at, "");
         return ::chmod(at.c_str(), 0666) == 0 && ::chown(at.c_str(), 65534, 65534) == 0;
     },
     false},
    {"SymlinkAtStaging", ".new",
     [](const fs::path& at, const fs::path& victim) {
         fs::create_symlink(victim, at);
         return true;
     },
     false},
    {"SymlinkAtPrevious", ".previous",
     [](const fs::path& at, const fs::path& victim) {
         fs::create_symlink(victim, at);
         return true;
     },
     false},
    {"FifoAtStaging", ".new",
     [](const fs::path& at, const fs::path&) { return ::mkfifo(at.c_str(), 0600) == 0; }, false},
    {"FifoAtPrevious", ".previous",
     [](const fs::path& at, const fs::path&) { return ::mkfifo(at.c_str(), 0600) == 0; }, false},
#endif
};

class PlantedAtInstall : public Pipeway, public ::testing::WithParamInterface<PlantedObject> {};

TEST_P(PlantedAtInstall, IsNeverWrittenThroughNorBecomesTheLiveFile) {
    const fs::path live = Stack() / "root" / "svx" / "pipeway" / "bin" / "authexclusion.xml";
    const std::string before = ReadFile(live);
    const fs::perms mode = fs::status(live).permissions();
    const fs::path victim = Stack() / "victim.txt";
    WriteFile(victim, "victim\n");
    if (!GetParam().make(live.string() + GetParam().at, victim)) {
        GTEST_SKIP() << "cannot plant " << GetParam().what << " here";
    }
    const fs::path next = Stack() / "next.xml";
    const std::string policy = "<AUTHEXLIST><USER><COMMAND name=\"x\"/></USER></AUTHEXLIST>\n";
    WriteFile(next, policy);
    const ProgramRun run = Pipe({"policy", "install", next.string()});
    EXPECT_EQ(ReadFile(victim), "victim\n");
    if (GetParam().refused) {
        ExpectRun(run, 1, {std::string("authexclusion.xml") + GetParam().at, "is unchanged"});
        EXPECT_EQ(ReadFile(live), before);
        return;
    }
    ExpectRun(run, 0, {"installed: "});
    EXPECT_EQ(ReadFile(live), policy);
    EXPECT_EQ(ReadFile(live.string() + ".previous"), before);
    EXPECT_FALSE(fs::exists(fs::symlink_status(live.string() + ".new")));
    EXPECT_EQ(fs::hard_link_count(live), 1u);
    EXPECT_EQ(fs::status(live).permissions(), mode);
#if !defined(_WIN32)
    struct stat status {};
    ASSERT_EQ(::stat(live.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, ::getuid());  // the owner of the file it replaced
#endif
}

INSTANTIATE_TEST_SUITE_P(Table, PlantedAtInstall, ::testing::ValuesIn(kPlanted),
                         pwtest::CaseName());

// The file installed is the file read and checked, read once: replaced right after the read,
// what replaced it is not installed. Too large a file is refused before it is read.
TEST_F(Pipeway, PolicyInstallInstallsTheBytesItChecked) {
    const fs::path live = Stack() / "root" / "svx" / "pipeway" / "bin" / "authexclusion.xml";
    const fs::path next = Stack() / "next.xml";
    const std::string policy = "<AUTHEXLIST><USER><COMMAND name=\"x\"/></USER></AUTHEXLIST>\n";
    WriteFile(next, policy);
    const fs::path swap = Stack() / "swap.xml";
    WriteFile(swap, "<AUTHEXLIST></AUTHEXLIST><broken");
    SetEnvironmentVariableA("PIPEWAY_TEST_SWAP_AFTER_READ", swap.string().c_str());
    const ProgramRun run = Pipe({"policy", "install", next.string()});
    SetEnvironmentVariableA("PIPEWAY_TEST_SWAP_AFTER_READ", nullptr);
    ExpectRun(run, 0, {"installed: "});
    EXPECT_EQ(ReadFile(live), policy);
    EXPECT_FALSE(fs::exists(swap));  // the swap did happen

    const fs::path big = Stack() / "big.xml";
    {
        std::ofstream grow(big, std::ios::binary);
        grow << "<AUTHEXLIST>";
        grow.seekp(std::streamoff{4} << 20);
        grow.put(' ');
    }
    ExpectRun(Pipe({"policy", "check", big.string()}), 1, {"is larger than 4 MiB"});
    ExpectRun(Pipe({"policy", "install", big.string()}), 1,
              {"is larger than 4 MiB", "is not installed"});
    EXPECT_EQ(ReadFile(live), policy);
}

// One install at a time: while another holds the stack, an install waits as long as it is told
// and then refuses, changing nothing.
TEST_F(Pipeway, PolicyInstallRefusesWhileAnotherHoldsTheStack) {
    const fs::path live = Stack() / "root" / "svx" / "pipeway" / "bin" / "authexclusion.xml";
    const std::string before = ReadFile(live);
    const fs::path next = Stack() / "next.xml";
    WriteFile(next, "<AUTHEXLIST></AUTHEXLIST>\n");
    {
        const pw::stack::LockResult held = pw::stack::LockForReplace(
            pw::stack::AnchoredPath{(Stack() / "root").string(), pw::stack::kExclusionFile},
            std::chrono::milliseconds(0));
        ASSERT_NE(held.lock, nullptr) << held.failure;
        ExpectRun(Pipe({"policy", "install", "--wait", "0", next.string()}), 1,
                  {"another replacement of ", "is under way"});
        EXPECT_EQ(ReadFile(live), before);
    }
    ExpectRun(Pipe({"policy", "install", "--wait", "0", next.string()}), 0, {"installed: "});
}

// A policy's decision table for named users, kept as an expectation and checked again: the
// way an administrator keeps a policy under their own CI.
TEST_F(Pipeway, PolicyTestComparesTheDecisionTableWithExpectations) {
    const fs::path policy = Stack() / "root" / "svx" / "pipeway" / "bin" / "authexclusion.xml";
    const fs::path commands = Stack() / "commands.txt";
    WriteFile(commands,
              "# one command line per line\n"
              "daname=lumda64 velcmd=setobject\n"
              "daname=lumda64 velcmd=setobject objtype=firmware\n"
              "daname=lumda64 velcmd=getobject objtype=account\n"
              "danme=lumda64 velcmd=getobject\n");
    const std::string table =
        "| command line | HOST\\admin | HOST\\someone | boss |\n"
        "|---|---|---|---|\n"
        "| daname=lumda64 velcmd=setobject | allowed | refused | allowed |\n"
        "| daname=lumda64 velcmd=setobject objtype=firmware | refused | refused | allowed |\n"
        "| daname=lumda64 velcmd=getobject objtype=account | allowed | refused | allowed |\n"
        "| danme=lumda64 velcmd=getobject | invalid(101) | invalid(101) | invalid(101) |\n";
    const fs::path expected = Stack() / "expected.md";
    WriteFile(expected, table);
    // clang-format off
    const std::vector<std::string> arguments = {
        "policy", "test", policy.string(), "--users", "HOST\\admin,HOST\\someone,boss=0x40007",
        "--commands", commands.string(), "--expect", expected.string()};
    // clang-format on
    ProgramRun run = Pipe(arguments);
    ExpectRun(run, 0,
              {"expected: all 12 decisions\n",
               // each column shows the mask its decisions are made for
               "| HOST\\admin=4 ", "| HOST\\someone=1 ", "| boss=0x40007 ",
               "| daname=lumda64 velcmd=setobject objtype=firmware | "
               "refused      | refused        | allowed      |\n"});

    std::string changed = table;
    changed.replace(changed.find("| allowed | refused | allowed |"), 31,
                    "| allowed | allowed | allowed |");
    WriteFile(expected, changed);
    ExpectRun(Pipe(arguments), 1,
              {"difference: daname=lumda64 velcmd=setobject for "
               "HOST\\someone: expected allowed, found refused\n",
               "expected: 1 of 12 decisions differ\n"});
}

// What the provider gives a command line, by exec, and what policy explain says of it, for the
// same user: the same ResultCode, or for a command the provider runs, "authorized".
TEST_F(Pipeway, PolicyExplainAgreesWithExec) {
    // One argument each, or an array of tokens.
    const std::vector<std::string> commandLines[] = {
        {"danme=lumda64 velcmd=gethostname"},
        {"daname=nosuch velcmd=x"},
        {"daname=lumda64"},
        {"daname=lumda64", "velcmd=x", "extra"},
        {"daname=lumda64 velcmd=setobject"},
        {"daname=lumda64 VELCMD=setobject"},
        {"daname=LUMDA velcmd=gethostname"},
        {"daname=lumda velcmd=gethostname"},
        {"daname=lumda64 velcmd=getchildlist byobjtype=322"},
        {"daname=lumda64", "velcmd=getchildlist", "byobjtype=417"},
        {"daname=lumda64 velcmd=resetcontroller"},
    };
    // Not in the sample rights file: the default mask, 1. On Windows exec's client is the
    // account running the test, which the sample rights file does not list either.
    const std::string user = "HOST\\someone";
    for (const std::vector<std::string>& tokens : commandLines) {
        const std::string commandLine = Words(tokens);
#if defined(_WIN32)
        const ProgramRun exec = Pipe(Then({"exec"}, tokens));
#else
        const ProgramRun exec = Pipe(Then({"exec", "--user", user}, tokens));
#endif
        const ProgramRun explain = Pipe(Then({"policy", "explain", "--user", user}, tokens));
        const std::size_t at = exec.output.find("ResultCode: ");
        ASSERT_NE(at, std::string::npos) << commandLine << ": " << exec.output;
        const std::string code = exec.output.substr(at, exec.output.find(' ', at + 12) - at);
        if (code == "ResultCode: 0") {
            EXPECT_EQ(explain.status, 0) << commandLine << ": " << explain.output;
            EXPECT_TRUE(Contains(explain.output, "decision: authorized\n"))
                << commandLine << ": " << explain.output;
        } else {
            EXPECT_EQ(explain.status, 1) << commandLine << ": " << explain.output;
            EXPECT_TRUE(Contains(explain.output, code + " ("))
                << commandLine << ": " << exec.output << " / " << explain.output;
        }
    }
}

struct ModuleFault {
    const char* fault;  // folder under tests/da/broken, or "" for the stack's own good module
    const char* file;
    int status;
    std::vector<std::string> lines;
};

TEST_F(Pipeway, ModuleCheckSaysWhyTheProviderCannotUseAModule) {
    const std::string sendCmd = "export pexda64_sendCmd: ";
    const std::string cannot = "verdict: the provider cannot use pexda64\n";
    // clang-format off
    const ModuleFault cases[] = {
        {"", "pexda64", 0, {"name: valid\n", "load: ok\n", sendCmd + "found\n",
                            "verdict: the provider can use pexda64\n"}},
        {"case", "pexda64", 1, {sendCmd + "missing\n", "found instead: PEXDA64_sendCmd (the same "
         "name in another case: export names are case-sensitive)\n", cannot}},
        {"linkage", "pexda64", 1, {sendCmd + "missing\n", "found instead: _Z15pexda64_sendCmdiPPc "
         "(a C++ name: declare the function extern \"C\"", cannot}},
#if defined(_WIN32)
        {"unresolved", "pexda64", 1, {"load: failed: ", "(error 126)\n"}},
#else
        {"unresolved", "pexda64", 1, {"load: failed: ", "undefined symbol: pw_broken_nowhere (error 126)\n"}},
#endif
        {"libprefix", "libpexda64", 1,
         {"file: not found: " + LibraryFile("pexda64") + " was looked for in\n",
          LibraryFile("libpexda64") + " (the provider loads " + LibraryFile("pexda64") +
              ", without \"lib\")\n"}},
    };
    // clang-format on
    const fs::path broken = ProgramFolder() / "da" / "broken";
    for (const ModuleFault& c : cases) {
        SCOPED_TRACE(c.fault);
        if (*c.fault != '\0') {
            fs::remove(Stack() / LibraryFile("pexda64"));
            fs::copy_file(broken / c.fault / LibraryFile(c.file), Stack() / LibraryFile(c.file),
                          fs::copy_options::overwrite_existing);
        }
        const ProgramRun run = Pipe({"module", "check", "pexda64"});
        EXPECT_EQ(run.status, c.status) << run.output;
        for (const std::string& line : c.lines) {
            EXPECT_TRUE(Contains(run.output, line)) << line << " in:\n" << run.output;
        }
        fs::remove(Stack() / LibraryFile(c.file));
    }
    const ProgramRun prefixed =
        Pipe({"module", "check", (broken / "libprefix" / LibraryFile("libpexda64")).string()});
    ExpectRun(prefixed, 1,
              {"the file has a \"lib\" prefix: the provider loads " + LibraryFile("pexda64") + "\n",
               // the prefix is the one problem: the exports carry the module's own name
               "export pexda64_sendCmd: found\n"});
    EXPECT_FALSE(Contains(prefixed.output, "missing")) << prefixed.output;
    // A short name that validation completes, as exec accepts it.
    ExpectRun(Pipe({"module", "check", "lumda"}), 0,
              {"name: valid (as lumda64)\n", "verdict: the provider can use lumda64\n"});
    ExpectRun(Pipe({"module", "check", "lum64"}), 1,
              {"name: not valid: a daname must name one of lumda64, "
               "rukda64, kordo64, tarda64, mivda64, pexda64\n"});
}

// get gives the key alone and says why; a path without the key says what form it must have.
TEST_F(Pipeway, GetSaysWhatItGivesAndWhatItNeeds) {
    ExpectRun(Pipe({"get", "ZOLM_OEM_DataAccessModule.InstanceID=\"any\""}), 0,
              {"InstanceID: ZOLM_OEM_DataAccessModule1\n",
               "KestroIPv4: (not set: a lookup by path gives the key alone; enum reads the "
               "addresses)\n"});
    ExpectRun(Pipe({"get", "ZOLM_OEM_DataAccessModule"}), 2,
              {"call failed: 0x80041008 WBEM_E_INVALID_PARAMETER\n",
               "get needs the object path of the class with its key, such as ",
               "ZOLM_OEM_DataAccessModule.InstanceID="});
    // --verbose names the install root, where the exclusion file and the trace log live.
    ExpectRun(Pipe({"--verbose", "enum"}), 0,
              {"install root " + (Stack() / "root").string() + " (as kordo64 reports it)\n"});
}

// exec warns on standard error of a module that answers nothing or very much, and of nothing else.
TEST_F(Pipeway, ExecWarnsOfAnAnswerThatIsMissingOrLarge) {
    fs::copy_file(ProgramFolder() / "da" / "broken" / "sizes" / LibraryFile("pexda64"),
                  Stack() / LibraryFile("pexda64"), fs::copy_options::overwrite_existing);
    ExpectRun(Pipe({"exec", "daname=pexda64 velcmd=nothing"}), 0,
              {"pipeway: warning: the module returned no answer\n"});
    ExpectRun(Pipe({"exec", "--json", "daname=pexda64 velcmd=huge"}), 0,
              {"pipeway: warning: the module's answer is 2097152 characters long, more than "
               "1048576: WMI carries it to the client whole\n"});
    const ProgramRun ordinary = Pipe({"exec", "daname=pexda64 velcmd=other"});
    EXPECT_EQ(ordinary.status, 0) << ordinary.output;
    EXPECT_FALSE(Contains(ordinary.output, "warning")) << ordinary.output;
}

// The module in C that the README shows, built with pipeway_add_da_module.
TEST_F(Pipeway, ModuleWrittenInCIsAcceptedAndServesCommands) {
    fs::copy_file(ProgramFolder() / "da" / "c" / LibraryFile("mivda64"),
                  Stack() / LibraryFile("mivda64"), fs::copy_options::overwrite_existing);
    const ProgramRun check = Pipe({"module", "check", "mivda64"});
    EXPECT_EQ(check.status, 0) << check.output;
    const ProgramRun ping = Pipe({"exec", "daname=mivda64 velcmd=ping"});
    EXPECT_TRUE(Contains(ping.output, "ReturnValue: <Pong/>\n")) << ping.output;
    const ProgramRun other = Pipe({"exec", "daname=mivda64 velcmd=getversion"});
    EXPECT_TRUE(Contains(other.output, "ReturnValue: <Error>unknown command</Error>\n"))
        << other.output;
}

}  // namespace
}  // namespace pwtest
