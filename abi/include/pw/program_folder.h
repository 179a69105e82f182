// The folder of the running program, where the programs of this system find what is built
// beside them.
#pragma once

#include <windows.h>

#include <filesystem>

namespace pw {

// Empty when the system cannot tell it.
inline std::filesystem::path ProgramFolder() {
    char path[4096] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return {};
    }
    return std::filesystem::path(path).parent_path();
}

}  // namespace pw
