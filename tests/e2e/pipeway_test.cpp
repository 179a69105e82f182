// The pipeway tool run as a process against a temporary copy of the sample stack.
#include "provider_fixture.h"

#include <algorithm>
#include <cstdio>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace pwtest {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status;
    std::string output;  // standard output and standard error
};

class Pipeway : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::copy(ProgramFolder().parent_path() / "samples" / "stack", m_stack.path() / "stack",
                 fs::copy_options::recursive);
#if defined(_WIN32)
        // On Windows the machine's registry names the library folder.
        SetLibraryDirectory(Stack().string());
#endif
    }
    void TearDown() override {
#if defined(_WIN32)
        SetLibraryDirectory(std::nullopt);
#endif
    }
    fs::path Stack() const {
        return m_stack.path() / "stack";
    }

    ToolRun Pipe(const std::string& arguments) {
#if defined(_WIN32)
        const fs::path tool = ProgramFolder().parent_path() / "bin" / "pipeway.exe";
#else
        const fs::path tool = ProgramFolder().parent_path() / "bin" / "pipeway";
#endif
        // Appended piece by piece: chained concatenation trips a false -Wrestrict in mingw's GCC.
        std::string command = "\"";
        command += tool.string();
        command += "\" --stack \"";
        command += Stack().string();
        command += "\" ";
        command += arguments;
        command += " 2>&1";
#if defined(_WIN32)
        // cmd.exe drops the outermost pair of quotes of its command line.
        std::string quoted = "\"";
        quoted += command;
        quoted += '"';
        std::FILE* pipe = _popen(quoted.c_str(), "r");
#else
        std::FILE* pipe = popen(command.c_str(), "r");
#endif
        ToolRun run{-1, ""};
        if (pipe == nullptr) {
            return run;
        }
        char buffer[4096];
        std::size_t read = 0;
        while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            run.output.append(buffer, read);
        }
#if defined(_WIN32)
        run.status = _pclose(pipe);
#else
        const int status = pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
        run.output.erase(std::remove(run.output.begin(), run.output.end(), '\r'), run.output.end());
        return run;
    }

    TempDir m_stack;
};

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(Pipeway, ExecPrintsTheModulesAnswer) {
    const ToolRun run = Pipe("exec \"daname=lumda64 velcmd=gethostname\"");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(Contains(run.output, "ResultCode: 0\n")) << run.output;
    EXPECT_TRUE(Contains(run.output, "ReturnValue: <Response module=\"lumda64\"><HostName>"))
        << run.output;
}

TEST_F(Pipeway, JsonCarriesTheHresultCodeAndAnswer) {
    const ToolRun run = Pipe("exec --json daname=lumda64 velcmd=getobject");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(Contains(run.output,
                         "{\"hresult\": \"0x00000000\", \"resultCode\": \"0\", "
                         "\"returnValue\": \"<Response module=\\\"lumda64\\\">"))
        << run.output;
}

TEST_F(Pipeway, RefusedCommandExitsWithOneAndNoAnswer) {
    const ToolRun run = Pipe("exec --json \"daname=lumda64 velcmd=setobject\"");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_TRUE(Contains(run.output, "{\"hresult\": \"0x00000000\", \"resultCode\": \"200\"}"))
        << run.output;
}

TEST_F(Pipeway, MissingModuleIsReportedInTheResultCode) {
#if defined(_WIN32)
    fs::remove(Stack() / "lumda64.dll");
#else
    fs::remove(Stack() / "lumda64.so");
#endif
    const ToolRun run = Pipe("exec \"daname=lumda64 velcmd=getobject\"");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_TRUE(Contains(run.output, "ResultCode: 105")) << run.output;
}

TEST_F(Pipeway, IdentifyLevelFailsTheCall) {
    const ToolRun run = Pipe("exec --level identify \"daname=lumda64 velcmd=getobject\"");
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_TRUE(Contains(run.output, "call failed: 0x80041003 WBEM_E_ACCESS_DENIED")) << run.output;
}

TEST_F(Pipeway, TraceShowsTheRequestsLinesAndSwitchesOffAgain) {
    const ToolRun run = Pipe("--trace exec \"daname=lumda64 velcmd=setobject\"");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_TRUE(Contains(run.output, "--- trace ---")) << run.output;
    EXPECT_TRUE(Contains(run.output, "-->PipewayProviderImpl::ExecuteMethod() - Unauthorised user"))
        << run.output;
    EXPECT_FALSE(fs::exists(Stack() / "root" / "svx" / "pipeway" / "log" / "WinPipeway.log"));
}

TEST_F(Pipeway, EnumerationAndLookupPrintTheInstance) {
    const ToolRun enumeration = Pipe("enum");
    EXPECT_EQ(enumeration.status, 0) << enumeration.output;
    EXPECT_TRUE(Contains(enumeration.output, "InstanceID: ZOLM_OEM_DataAccessModule1\n"));
    EXPECT_TRUE(Contains(enumeration.output, "KestroIPv4: "));
    const ToolRun lookup = Pipe("get ZOLM_OEM_DataAccessModule.InstanceID=1 --json");
    EXPECT_EQ(lookup.status, 0) << lookup.output;
    EXPECT_TRUE(Contains(lookup.output, "\"InstanceID\": \"ZOLM_OEM_DataAccessModule1\"}"))
        << lookup.output;
    const ToolRun classPath = Pipe("get ZOLM_OEM_DataAccessModule");
    EXPECT_EQ(classPath.status, 2) << classPath.output;
    EXPECT_TRUE(Contains(classPath.output, "WBEM_E_INVALID_PARAMETER")) << classPath.output;
}

TEST_F(Pipeway, UsageErrorsExitWith64AndHelpWithZero) {
    for (const char* arguments :
         {"", "bogus", "exec", "exec --level high a=b", "get", "enum extra", "--frobnicate enum"}) {
        const ToolRun run = Pipe(arguments);
        EXPECT_EQ(run.status, 64) << arguments << ": " << run.output;
        EXPECT_TRUE(Contains(run.output, "pipeway: ")) << run.output;
    }
    const ToolRun help = Pipe("exec --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(Contains(help.output, "usage: pipeway"));
}

TEST_F(Pipeway, UnreadableStackIsNamed) {
    fs::remove_all(Stack());
    const ToolRun run = Pipe("enum");
    EXPECT_EQ(run.status, 64) << run.output;
    EXPECT_TRUE(Contains(run.output, "cannot be read")) << run.output;
}

#if !defined(_WIN32)
TEST_F(Pipeway, NamedUserGetsThatUsersRights) {
    const ToolRun run = Pipe("exec --user \"HOST\\\\admin\" \"daname=lumda64 velcmd=setobject\"");
    EXPECT_EQ(run.status, 0) << run.output;
}
#else
TEST_F(Pipeway, NamedUserIsRefusedOnWindows) {
    const ToolRun run = Pipe("exec --user someone \"daname=lumda64 velcmd=setobject\"");
    EXPECT_EQ(run.status, 64) << run.output;
}
#endif

}  // namespace
}  // namespace pwtest
