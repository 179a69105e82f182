#include "cli/common.h"

#include "pw/stack_layout.h"

#include <windows.h>

namespace pipeway {

const char kProviderLibraryName[] = "WinPipeway.dll";
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

}  // namespace pipeway
