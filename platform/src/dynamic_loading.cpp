#include "platform/src/no_throw.h"
#include "platform/src/fault.h"
#include "platform/src/text.h"
#include <windows.h>

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

bool IsRegularFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// The program's own file; empty when it cannot be found.
std::string ProgramPath() {
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length <= 0 ? std::string() : std::string(path, static_cast<std::size_t>(length));
}

std::string ProgramFolder() {
    const std::string program = ProgramPath();
    const std::size_t slash = program.rfind('/');
    return slash == std::string::npos ? std::string() : program.substr(0, slash);
}

// Windows appends its library extension to a file name that has none; a final "." means
// "no extension" and is dropped.
std::string WithLibraryExtension(std::string_view name) {
    const std::size_t slash = name.rfind('/');
    const std::string_view file = slash == std::string_view::npos ? name : name.substr(slash + 1);
    if (!file.empty() && file.back() == '.') {
        return std::string(name.substr(0, name.size() - 1));
    }
    if (file.find('.') != std::string_view::npos) {
        return std::string(name);
    }
    return std::string(name) + ".so";
}

// The search of a bare name: the program's folder, then each folder of "PATH" as it stands now.
// Folders are separated by ';' (as on Windows, and as the provider appends them) or ':'.
std::string FindLibrary(const std::string& file) {
    const std::string own = ProgramFolder() + "/" + file;
    if (IsRegularFile(own)) {
        return own;
    }
    const char* path = std::getenv("PATH");
    std::string_view folders = path == nullptr ? std::string_view() : std::string_view(path);
    while (!folders.empty()) {
        const std::size_t end = folders.find_first_of(";:");
        const std::string_view folder = folders.substr(0, end);
        folders = end == std::string_view::npos ? std::string_view() : folders.substr(end + 1);
        if (folder.empty()) {
            continue;
        }
        std::string candidate(folder);
        if (candidate.back() != '/') {
            candidate += '/';
        }
        candidate += file;
        if (IsRegularFile(candidate)) {
            return candidate;
        }
    }
    return {};
}

// dlopen of a file found (empty: none), with the Windows error codes of a failure.
HMODULE Open(const std::string& found) {
    if (found.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* handle = ::dlopen(found.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        // A file that is there but is no library of this machine is a bad image on Windows;
        // anything else (a dependency missing, say) is a module not found.
        const char* why = ::dlerror();
        const bool badImage =
            why != nullptr && (std::strstr(why, "invalid ELF header") != nullptr ||
                               std::strstr(why, "wrong ELF class") != nullptr ||
                               std::strstr(why, "file too short") != nullptr);
        SetLastError(badImage ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return static_cast<HMODULE>(handle);
}

}  // namespace

extern "C" {

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
    return pwplatform::NoThrow<HMODULE>(nullptr, ERROR_NOT_ENOUGH_MEMORY, [&]() -> HMODULE {
        if (fileName == nullptr || *fileName == '\0') {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        if (pwplatform::FaultHere(PW_FAULT_LOADING)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        const std::string file = WithLibraryExtension(fileName);
        return Open(file.find('/') != std::string::npos ? (IsRegularFile(file) ? file : "")
                                                        : FindLibrary(file));
    });
}

HMODULE WINAPI LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags) {
    return pwplatform::NoThrow<HMODULE>(nullptr, ERROR_NOT_ENOUGH_MEMORY, [&]() -> HMODULE {
        if (fileName == nullptr || *fileName == L'\0' || file != nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        std::string name;
        for (const wchar_t* c = fileName; *c != L'\0'; ++c) {
            pwplatform::AppendUtf8(name, static_cast<char32_t>(*c));
        }
        if ((flags & LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR) == 0) {
            return LoadLibraryA(name.c_str());
        }
        if (name.front() != '/') {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        if (pwplatform::FaultHere(PW_FAULT_LOADING)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        const std::string path = WithLibraryExtension(name);
        return Open(IsRegularFile(path) ? path : "");
    });
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
    if (module == nullptr || procName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (pwplatform::FaultHere(PW_FAULT_LOADING)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    ::dlerror();
    void* symbol = ::dlsym(module, procName);
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    if (module == nullptr || ::dlclose(module) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    return pwplatform::NoThrow<DWORD>(0, ERROR_NOT_ENOUGH_MEMORY, [&]() -> DWORD {
        std::string path;
        if (module == nullptr) {
            path = ProgramPath();
        } else {
            link_map* map = nullptr;
            if (::dlinfo(module, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr &&
                map->l_name != nullptr) {
                path = map->l_name;
            }
        }
        if (path.empty() || fileName == nullptr || size == 0) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        // As on Windows: a buffer too small receives the truncated, terminated name.
        const std::size_t copied = path.size() < size ? path.size() : size - 1;
        std::memcpy(fileName, path.data(), copied);
        fileName[copied] = '\0';
        if (copied < path.size()) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return size;
        }
        return static_cast<DWORD>(copied);
    });
}

}  // extern "C"
