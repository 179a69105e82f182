#include "cli/common.h"

#include "pw/stack_layout.h"

#include <windows.h>

namespace pipeway {

const char kProviderLibraryName[] = "WinPipeway.dll";
const char kProgramName[] = "pipeway.exe";
// The client is the current account: the host cannot play another one.
const bool kUserOptionAvailable = false;

std::optional<std::filesystem::path> ConfiguredStack() {
    if (const std::optional<std::string> folder = pw::stack::LibraryFolder()) {
        return std::filesystem::path(*folder);
    }
    return std::nullopt;
}

// The machine's registry value must already name the folder: pipeway does not change what the
// installed provider loads.
void UseStack(const std::filesystem::path& folder) {
    const std::optional<std::string> named = pw::stack::LibraryFolder();
    std::error_code error;
    if (!named) {
        throw UsageError{std::string("the registry value HKLM\\") + pw::stack::kLibraryKey + " " +
                         pw::stack::kLibraryValue +
                         " is not set (it names the stack's library folder)"};
    }
    if (!std::filesystem::equivalent(*named, folder, error)) {
        throw UsageError{std::string("the registry value ") + pw::stack::kLibraryValue + " names " +
                         *named + ", not " + folder.string() +
                         ": the provider loads the stack's libraries from that folder only"};
    }
}

// Double quotes as the C runtime reads a command line: a quote inside is escaped, and so are the
// backslashes just before a quote (or before the closing one).
std::string ShellQuote(const std::string& word) {
    if (!word.empty() && word.find_first_of(" \t\"&|<>^%!()") == std::string::npos) {
        return word;
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : word) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

}  // namespace pipeway
