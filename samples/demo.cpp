// Runs command lines through the command core against the sample stack and prints what each
// step made of them.
//
//   pipeway-demo [--stack DIR] [--user DOMAIN\NAME] ["command line"]
//
// Without a command line it runs two: one the sample exclusion file allows and one it
// refuses. The stack folder (by default "stack" beside the program) holds the sample DA
// modules and common-services library; it is put on "PATH" for the module search. Its
// install root is "root" inside it: create root/svx/pipeway/log/WinPipeway.log to see the
// trace.
#include "auth_exception.h"
#include "install_root.h"
#include "pipeway_provider_impl.h"
#include "trace_log.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The library's attach and detach notifications, around the whole program.
struct ProcessScope {
    ProcessScope() {
        TraceLogProcessAttach();
        CoreProcessAttach();
        AuthExProcessAttach();
    }
    ~ProcessScope() {
        PipewayProviderImpl::CleanUpDAInfo();
        AuthExProcessDetach();
        CoreProcessDetach();
        TraceLogProcessDetach();
    }
};

std::string DefaultStack() {
    char program[4096] = {};
    const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program) {
        return "stack";
    }
    return (std::filesystem::path(program).parent_path() / "stack").string();
}

int Usage() {
    std::fprintf(stderr,
                 "usage: pipeway-demo [--stack DIR] [--user DOMAIN\\NAME] [\"command line\"]\n");
    return 64;
}

void Run(const std::string& user, const std::string& commandLine) {
    std::printf("user         : %s\ncommand line : %s\n", user.c_str(), commandLine.c_str());
    std::string text = commandLine;
    TrimWhitespace(text);
    std::vector<std::string> tokens;
    const PipewayMgtData::PPImplStatus split = PipewayProviderImpl::ConvertStrToVec(text, tokens);
    for (const std::string& token : tokens) {
        std::printf("token        : %s\n", token.c_str());
    }
    if (split.code != 0) {
        std::printf("ResultCode   : %d (the command line cannot be split)\n\n", split.code);
        return;
    }
    // The first request reads the exclusion file; the scanner copies the file's line ends,
    // and the parser its syntax errors, to standard output. Show only the messages.
    std::ostringstream parserOutput;
    std::streambuf* saved = std::cout.rdbuf(parserOutput.rdbuf());
    PipewayProviderImpl request(user, tokens);
    std::cout.rdbuf(saved);
    if (parserOutput.str().find_first_not_of(" \t\r\n") != std::string::npos) {
        std::printf("policy file  : %s", parserOutput.str().c_str());
    }
    std::printf("validation   : %d\n", request.Status());
    if (request.Status() == 0) {
        std::printf("authorized   : %s\n", request.IsAuthorizedRequest() ? "yes" : "no");
    }
    std::string answer;
    const PipewayMgtData::PPImplStatus result = request.ExecuteMethod(answer);
    std::printf("ResultCode   : %d%s%s\n", result.code, result.text.empty() ? "" : " ",
                result.text.c_str());
    if (result.code == 0) {
        std::printf("ReturnValue  : %s\n", answer.c_str());
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::string stack = DefaultStack();
    std::string user;
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--stack") == 0 && i + 1 < argc) {
            stack = argv[++i];
        } else if (std::strcmp(argv[i], "--user") == 0 && i + 1 < argc) {
            user = argv[++i];
        } else if (argv[i][0] == '-' || !commandLine.empty()) {
            return Usage();
        } else {
            commandLine = argv[i];
        }
    }
    ProcessScope process;
    if (!SetEnvironmentVariableA("PATH", stack.c_str())) {
        std::fprintf(stderr, "cannot set PATH\n");
        return 1;
    }
    if (const std::optional<std::string> root = GetRootInstallPath()) {
        g_traceLogPath.Set(*root + "/svx/pipeway/log/WinPipeway.log");
        std::printf("install root : %s\n\n", root->c_str());
    } else {
        std::printf("install root : none (the stack has no common-services library)\n\n");
    }

    if (!commandLine.empty()) {
        Run(user.empty() ? "DEMO\\user" : user, commandLine);
        return 0;
    }
    // An operator (power user) may read an object; a plain user may not set one.
    Run(user.empty() ? "DEMO\\operator" : user,
        "daname=lumda velcmd=getobject name=My Server objtype=2");
    Run(user.empty() ? "DEMO\\user" : user, "daname=lumda velcmd=setobject name=My Server");
    return 0;
}
