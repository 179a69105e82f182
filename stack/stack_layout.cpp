#include "pw/stack_layout.h"

#include "pw/resources.h"
#include "pw/text.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace pw::stack {

std::optional<std::string> LibraryFolder() {
    pw::UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLibraryKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), kLibraryValue, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    std::vector<char> folder(static_cast<std::size_t>(size) + 1, '\0');
    if (RegQueryValueExA(key.get(), kLibraryValue, nullptr, &type,
                         reinterpret_cast<BYTE*>(folder.data()), &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    std::string text(folder.data());  // up to the first NUL, stored or added
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

bool SetLibraryFolder(const std::string& folder) {
    pw::UniqueKey key;
    if (folder.empty()) {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLibraryKey, 0, KEY_ALL_ACCESS, key.put()) !=
            ERROR_SUCCESS) {
            return true;  // no key, no value
        }
        const LONG result = RegDeleteValueA(key.get(), kLibraryValue);
        return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
    }
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kLibraryKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return RegSetValueExA(key.get(), kLibraryValue, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(folder.c_str()),
                          static_cast<DWORD>(folder.size() + 1)) == ERROR_SUCCESS;
}

std::optional<std::string> LibraryPathIn(const std::string& folder, const std::string& name) {
    // Only the stack's plain module names are loaded; nothing that names another folder.
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of("/\\:") != std::string::npos || folder.empty() ||
        !std::filesystem::path(folder).is_absolute()) {
        return std::nullopt;
    }
    // One separator before the name, however the folder ends; on Windows the folder's forward
    // slashes (an administrator may write "C:/Corvane/lib/") become backslashes.
    std::string path = folder;
#if defined(_WIN32)
    std::replace(path.begin(), path.end(), '/', '\\');
    constexpr char kSeparator = '\\';
#else
    constexpr char kSeparator = '/';
#endif
    while (!path.empty() && path.back() == kSeparator) {
        path.pop_back();
    }
    path += kSeparator;
    path += name;
    path += kLibraryExtension;
    return path;
}

std::optional<std::string> UsableLibraryFolder() {
    std::optional<std::string> folder = LibraryFolder();
    if (!folder || !std::filesystem::path(*folder).is_absolute()) {
        return std::nullopt;
    }
    return folder;
}

std::optional<std::string> LibraryPath(const std::string& name) {
    const std::optional<std::string> folder = UsableLibraryFolder();
    return folder ? LibraryPathIn(*folder, name) : std::nullopt;
}

HMODULE LoadLibraryFile(const std::string& path, std::string* why) {
    const std::optional<std::wstring> wide = pw::Widen(path, CP_ACP);
    if (!wide || wide->empty()) {
        if (why != nullptr) {
            *why = "the path is empty or not text of the system's code page";
        }
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    HMODULE library =
        LoadLibraryExW(wide->c_str(), nullptr,
                       LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (library == nullptr && why != nullptr) {
        const DWORD error = GetLastError();
        *why = LoaderMessage(error);
        SetLastError(error);
    }
    return library;
}

std::string WithLoaderMessage(const std::string& text, DWORD error, const std::string& words) {
    return text + " (error " + std::to_string(error) + (words.empty() ? "" : ": " + words) + ")";
}

HMODULE LoadStackLibrary(const std::string& name, std::string* why) {
    const std::optional<std::string> path = LibraryPath(name);
    if (!path) {
        if (why != nullptr) {
            *why = "no library folder to load it from";
        }
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return LoadLibraryFile(*path, why);
}

}  // namespace pw::stack
