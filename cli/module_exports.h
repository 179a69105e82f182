// The names a shared library exports, read from its file (ELF on POSIX, PE on Windows), so that
// a module that cannot be loaded can still be told what it offers.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pipeway {

// The exported function names of a 64-bit ELF shared object or a PE image; nothing when the file
// cannot be read or is neither.
std::optional<std::vector<std::string>> ExportedNames(const std::filesystem::path& file);

}  // namespace pipeway
