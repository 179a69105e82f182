// POSIX has no COM activation of registered classes: the host always loads the provider
// library itself.
#include "host/provider_host.h"

#include <dlfcn.h>

namespace host {

std::optional<CLSID> RegisteredClass(const wchar_t*) {
    return std::nullopt;
}

std::string ImplementingLibrary(IUnknown* object) {
    // A COM object's first word points at its method table, which lies in the image of the
    // library that implements it.
    Dl_info info = {};
    if (object == nullptr || dladdr(*reinterpret_cast<void**>(object), &info) == 0 ||
        info.dli_fname == nullptr) {
        return {};
    }
    return info.dli_fname;
}

}  // namespace host
