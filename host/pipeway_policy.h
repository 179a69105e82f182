// pipeway's policy commands: an exclusion file read with the system's own scanner and parser,
// outside the provider.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pipeway {

// Exit statuses shared by every pipeway command.
constexpr int kExitOk = 0;
constexpr int kExitResult = 1;
constexpr int kExitCallFailed = 2;
constexpr int kExitUsage = 64;

// A mistake in the command line: reported in one line with exit status 64.
struct UsageError {
    std::string message;
};

// Runs "policy check FILE" or "policy explain [--file FILE] --mask N ARG...". `args` are the
// words after "policy"; `stack` locates the installed exclusion file when no --file is given.
// Throws UsageError.
int RunPolicy(const std::vector<std::string>& args, const std::filesystem::path& stack);

}  // namespace pipeway
