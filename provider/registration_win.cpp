// The Windows parts of registration: the library's own path and the type library.
#include "provider/registration.h"

#include "provider/identifiers.h"
#include "pw/resources.h"
#include "pw/text.h"

#include <oleauto.h>

#include <vector>

std::string OwnLibraryPath() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&OwnLibraryPath), &self)) {
        return {};
    }
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::string() : std::string(path, length);
}

HRESULT RegisterTypeLibrary(const std::string& libraryPath) {
    std::wstring path = pw::Widen(libraryPath, CP_ACP).value_or(std::wstring());
    pw::ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
    if (FAILED(hr)) {
        const std::size_t dot = path.find_last_of(L'.');
        path = (dot == std::wstring::npos ? path : path.substr(0, dot)) + L".tlb";
        hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
        if (FAILED(hr)) {
            return hr;
        }
    }
    return RegisterTypeLib(library.get(), path.data(), nullptr);
}

HRESULT UnregisterTypeLibrary() {
    const HRESULT hr =
        UnRegisterTypeLib(LIBID_iPipewayProviderLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
    // A library that is not registered is not an error of unregistration.
    return hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_LIBNOTREGISTERED ? S_OK : hr;
}
