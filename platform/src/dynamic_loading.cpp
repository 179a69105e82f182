#include "platform/src/no_throw.h"
#include "platform/src/fault.h"
#include "platform/src/text.h"
#include <windows.h>
#include <pw_loader.h>

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// What the dynamic linker said at this thread's last failed load or lookup, with the error code
// that failure set. A fixed buffer: nothing to release when a thread ends.
thread_local struct LoaderFailure {
    DWORD error = 0;
    char text[1024] = {};
} t_loaderFailure;

// Sets `error` as the last error and keeps `text` as what the linker said of it.
void LoaderFailed(DWORD error, const char* text) {
    t_loaderFailure.error = error;
    std::snprintf(t_loaderFailure.text, sizeof t_loaderFailure.text, "%s",
                  text == nullptr ? "" : text);
    SetLastError(error);
}

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

// dlopen of `file` when it was found, with the Windows error codes of a failure.
HMODULE Open(const std::string& file, bool found) {
    if (!found) {
        // In the words the dynamic linker uses for a file it cannot open.
        struct stat status {};
        const std::string why =
            ::stat(file.c_str(), &status) == 0 ? "not a regular file" : std::strerror(errno);
        LoaderFailed(ERROR_MOD_NOT_FOUND,
                     (file + ": cannot open shared object file: " + why).c_str());
        return nullptr;
    }
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        // A file that is there but is no library of this machine is a bad image on Windows;
        // anything else (a dependency missing, say) is a module not found.
        const char* why = ::dlerror();
        const bool badImage =
            why != nullptr && (std::strstr(why, "invalid ELF header") != nullptr ||
                               std::strstr(why, "wrong ELF class") != nullptr ||
                               std::strstr(why, "file too short") != nullptr);
        LoaderFailed(badImage ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND, why);
        return nullptr;
    }
    return static_cast<HMODULE>(handle);
}

}  // namespace

extern "C" {

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
    return pwplatform::NoThrow<HMODULE>(nullptr, ERROR_NOT_ENOUGH_MEMORY, [&]() -> HMODULE {
        t_loaderFailure.error = 0;  // what an earlier call's linker said is not this one's
        if (fileName == nullptr || *fileName == '\0') {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        if (pwplatform::FaultHere(PW_FAULT_LOADING)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        const std::string file = WithLibraryExtension(fileName);
        if (file.find('/') != std::string::npos) {
            return Open(file, IsRegularFile(file));
        }
        const std::string found = FindLibrary(file);
        return Open(found.empty() ? file : found, !found.empty());
    });
}

HMODULE WINAPI LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags) {
    return pwplatform::NoThrow<HMODULE>(nullptr, ERROR_NOT_ENOUGH_MEMORY, [&]() -> HMODULE {
        t_loaderFailure.error = 0;  // what an earlier call's linker said is not this one's
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
        return Open(path, IsRegularFile(path));
    });
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
    t_loaderFailure.error = 0;
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
        LoaderFailed(ERROR_PROC_NOT_FOUND, ::dlerror());
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

DWORD WINAPI PwLoaderErrorText(DWORD error, LPSTR buffer, DWORD size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    buffer[0] = '\0';
    if (t_loaderFailure.error != error || t_loaderFailure.text[0] == '\0') {
        return 0;
    }
    const int written = std::snprintf(buffer, size, "%s", t_loaderFailure.text);
    return written < 0 ? 0 : std::min<DWORD>(static_cast<DWORD>(written), size - 1);
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
