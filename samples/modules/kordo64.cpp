// A sample common-services library: "kordo64" reports the folder "root" beside itself as the
// stack's install root.
#include "da_contract.h"

#include <cstdlib>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

std::string OwnFolder() {
#if defined(_WIN32)
    HMODULE self = nullptr;
    char path[MAX_PATH] = {};
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&OwnFolder), &self) ||
        GetModuleFileNameA(self, path, MAX_PATH) == 0) {
        return {};
    }
    const std::string file = path;
    return file.substr(0, file.find_last_of("\\/"));
#else
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    const std::string file = info.dli_fname;
    return file.substr(0, file.rfind('/'));
#endif
}

}  // namespace

PW_DA_EXPORT char* ZevGetRootInstallPath() {
    const std::string folder = OwnFolder();
    if (folder.empty()) {
        return nullptr;
    }
    const std::string root = folder + "/root";
    char* copy = static_cast<char*>(std::malloc(root.size() + 1));
    if (copy != nullptr) {
        std::memcpy(copy, root.c_str(), root.size() + 1);
    }
    return copy;
}

PW_DA_EXPORT void ZevGenericFree(void* block) {
    std::free(block);
}
