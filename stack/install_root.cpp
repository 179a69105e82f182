#include "pw/stack_layout.h"

#include "pw/events.h"
#include "pw/resources.h"

#include <mutex>

namespace pw::stack {

namespace {

using GetRootInstallPathFn = char* (*)();
using GenericFreeFn = void (*)(void* block);

struct CommonServices {
    GetRootInstallPathFn getRootInstallPath = nullptr;
    GenericFreeFn genericFree = nullptr;
};

// The library stays loaded for the life of the process once bound: the root it hands out is
// freed through it, and unloading it from a library's detach notification is not safe.
std::optional<CommonServices> Bind() {
    static std::mutex mutex;
    static CommonServices bound;
    std::lock_guard<std::mutex> lock(mutex);
    if (bound.getRootInstallPath != nullptr) {
        return bound;
    }
    pw::UniqueLibrary library(LoadStackLibrary("kordo64"));
    if (!library) {
        return std::nullopt;
    }
    CommonServices services;
    services.getRootInstallPath =
        pw::ProcAs<GetRootInstallPathFn>(GetProcAddress(library.get(), "ZevGetRootInstallPath"));
    services.genericFree =
        pw::ProcAs<GenericFreeFn>(GetProcAddress(library.get(), "ZevGenericFree"));
    if (services.getRootInstallPath == nullptr || services.genericFree == nullptr) {
        return std::nullopt;
    }
    library.release();  // kept for the life of the process
    bound = services;
    return bound;
}

}  // namespace

std::optional<std::string> RootInstallPath() {
    const std::optional<CommonServices> services = Bind();
    if (!services) {
        return std::nullopt;
    }
    char* root = services->getRootInstallPath();
    if (root == nullptr) {
        return std::nullopt;
    }
    std::string copy;
    try {
        copy = root;
    } catch (...) {
        services->genericFree(root);
        throw;
    }
    services->genericFree(root);
    return copy;
}

std::optional<std::string> RootInstallPathOrReport() {
    std::optional<std::string> root = RootInstallPath();
    if (!root) {
        const std::string library =
            LibraryPath("kordo64").value_or("kordo64" + std::string(kLibraryExtension));
        pw::events::Report(pw::events::Event::kInstallRootMissing,
                           {library, "the library cannot be loaded, or reports no install root"});
    }
    return root;
}

}  // namespace pw::stack
