// Runs one command line through the command core against the sample stack and prints what
// each step made of it.
//
//   pipeway-demo [--stack DIR] ["command line"]
//
// The stack folder (by default "stack" beside the program) holds the sample DA modules; it is
// put on "PATH" for the module search.
#include "pipeway_provider_impl.h"
#include "trace_log.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct ProcessScope {
    ProcessScope() {
        TraceLogProcessAttach();
        CoreProcessAttach();
    }
    ~ProcessScope() {
        PipewayProviderImpl::CleanUpDAInfo();
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
    std::fprintf(stderr, "usage: pipeway-demo [--stack DIR] [\"command line\"]\n");
    return 64;
}

}  // namespace

int main(int argc, char** argv) {
    std::string stack = DefaultStack();
    std::string commandLine = "daname=lumda velcmd=getobject name=My Server objtype=2";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--stack") == 0 && i + 1 < argc) {
            stack = argv[++i];
        } else if (argv[i][0] == '-') {
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

    std::printf("command line : %s\n", commandLine.c_str());
    std::string text = commandLine;
    TrimWhitespace(text);
    std::vector<std::string> tokens;
    const PipewayMgtData::PPImplStatus split = PipewayProviderImpl::ConvertStrToVec(text, tokens);
    for (const std::string& token : tokens) {
        std::printf("token        : %s\n", token.c_str());
    }
    if (split.code != 0) {
        std::printf("ResultCode   : %d (the command line cannot be split)\n", split.code);
        return 0;
    }

    PipewayProviderImpl request("DEMO\\user", tokens);
    std::printf("validation   : %d\n", request.Status());
    if (request.Status() == 0) {
        std::printf("DA module    : %s\ncommand      : %s\nlocal login  : %s\n",
                    request.DAName().c_str(), request.Command().c_str(),
                    request.LocalLogin().c_str());
    }
    std::string answer;
    const PipewayMgtData::PPImplStatus result = request.ExecuteMethod(answer);
    std::printf("ResultCode   : %d%s%s\n", result.code, result.text.empty() ? "" : " ",
                result.text.c_str());
    if (result.code == 0) {
        std::printf("ReturnValue  : %s\n", answer.c_str());
    } else if (result.code == 200 && request.Status() == 0) {
        // No exclusion policy authorizes requests yet; show what the module would answer.
        try {
            const DAInfo* info = PipewayProviderImpl::getDAInfo(request.DAName());
            std::vector<std::string> copies;
            std::vector<char*> args;
            for (unsigned i = 0; i < request.Argc(); ++i) {
                copies.emplace_back(request.Argv()[i]);
            }
            for (std::string& copy : copies) {
                args.push_back(copy.data());
            }
            RunDACmd(*info, static_cast<std::int32_t>(args.size()), args.data(), answer);
            std::printf("module answer: %s\n", answer.c_str());
        } catch (const PipewayMgtData::PPImplStatus& failure) {
            std::printf("module       : %d %s\n", failure.code, failure.text.c_str());
        }
    }
    // The demo's job is to show the pipeline; the request's own outcome is the ResultCode.
    return 0;
}
