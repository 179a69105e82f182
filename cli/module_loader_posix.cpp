#include "cli/module_check.h"

#include <dlfcn.h>

namespace pipeway {

std::string LoaderError(const std::filesystem::path& file) {
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle != nullptr) {
        dlclose(handle);
        return "the library loads on its own, but not by its bare name";
    }
    const char* text = dlerror();
    return text == nullptr ? "unknown" : text;
}

void QuietLoaderErrors() {}

}  // namespace pipeway
