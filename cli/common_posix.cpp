#include "cli/common.h"

#include "pw/stack_layout.h"

#include <windows.h>

namespace pipeway {

const char kProviderLibraryName[] = "WinPipeway.so";
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

}  // namespace pipeway
