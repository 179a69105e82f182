// Small helpers shared by the sample modules. Samples only: each module is a short example of
// the DA module contract (core/da_contract.h), not production code.
#pragma once

#include <pipeway/da_contract.h>

#include <cstdlib>
#include <cstring>
#include <string>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN  // lets a module include winsock2.h after this header
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace sample {

// A malloc'ed copy of the answer, which the module's freeData gives back with free().
inline char* Answer(const std::string& text) {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy != nullptr) {
        std::memcpy(copy, text.c_str(), text.size() + 1);
    }
    return copy;
}

// The value of the first "name=value" token with that name, or empty.
inline std::string Value(int argc, char* argv[], const char* name) {
    const std::size_t length = std::strlen(name);
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], name, length) == 0 && argv[i][length] == '=') {
            return argv[i] + length + 1;
        }
    }
    return {};
}

// Escapes the three characters that would break the tagged answer.
inline std::string Escape(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '&':
                escaped += "&amp;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

// The folder of the library this code is in: the stack folder.
inline std::string OwnFolder() {
    static const char marker = 0;
#if defined(_WIN32)
    HMODULE self = nullptr;
    char path[MAX_PATH] = {};
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            &marker, &self) ||
        GetModuleFileNameA(self, path, MAX_PATH) == 0) {
        return {};
    }
    const std::string file = path;
    return file.substr(0, file.find_last_of("\\/"));
#else
    Dl_info info{};
    if (dladdr(&marker, &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    const std::string file = info.dli_fname;
    return file.substr(0, file.rfind('/'));
#endif
}

}  // namespace sample
