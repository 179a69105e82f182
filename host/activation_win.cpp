// COM activation of the provider's registered class, as the WMI service creates providers.
#include "host/provider_host.h"

namespace host {

std::optional<CLSID> RegisteredClass(const wchar_t* progId) {
    CLSID clsid = {};
    if (FAILED(CLSIDFromProgID(progId, &clsid))) {
        return std::nullopt;
    }
    return clsid;
}

std::string ImplementingLibrary(IUnknown* object) {
    // A COM object's first word points at its method table, which lies in the image of the
    // library that implements it.
    HMODULE module = nullptr;
    if (object == nullptr || !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                                     GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                                 *reinterpret_cast<LPCSTR*>(object), &module)) {
        return {};
    }
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::string() : std::string(path, length);
}

}  // namespace host
