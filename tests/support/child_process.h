// Starts a program directly, with no shell in between, and collects what it writes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pwtest {

struct ProgramRun {
    // The exit status; -1 when the program did not start or did not end by exiting.
    int status = -1;
    // Standard output and standard error together, in the order written; "\r" removed.
    std::string output;
    // Why the program did not start or did not exit: names the program and the system's
    // error code. Empty when it ran to its exit.
    std::string error;
};

// Runs `program` with these arguments, each passed as one argument exactly as given (on
// Windows quoted for the C runtime's argument parser, never for a shell), standard input
// empty, and waits for it to end.
ProgramRun RunProgram(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments);

}  // namespace pwtest
