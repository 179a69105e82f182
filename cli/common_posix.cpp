#include "cli/common.h"

#include "pw/stack_layout.h"

#include <windows.h>

namespace pipeway {

const char kProviderLibraryName[] = "WinPipeway.so";
const char kProgramName[] = "pipeway";
const bool kUserOptionAvailable = true;

std::optional<std::filesystem::path> ConfiguredStack() {
    return std::nullopt;
}

// The stack's own registry file names the library folder.
void UseStack(const std::filesystem::path& folder) {
    const std::filesystem::path registry = folder / "registry.txt";
    SetEnvironmentVariableA("PIPEWAY_REGISTRY", registry.string().c_str());
    if (!pw::stack::SetLibraryFolder(folder.string())) {
        throw UsageError{"the stack's registry " + registry.string() + " cannot be written"};
    }
}

// Single quotes keep every byte but the single quote itself, which is closed, escaped and
// reopened.
std::string ShellQuote(const std::string& word) {
    if (!word.empty() &&
        word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                               "0123456789_-./=:,@+%") == std::string::npos) {
        return word;
    }
    std::string quoted = "'";
    for (const char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    quoted += '\'';
    return quoted;
}

}  // namespace pipeway
