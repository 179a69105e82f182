// The POSIX parts of registration: the library's own path, and the type library entries that
// the platform's type library registration writes, written directly.
#include "registration.h"

#include "identifiers.h"

#include <dlfcn.h>

std::string OwnLibraryPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnLibraryPath), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    return info.dli_fname;
}

namespace {

constexpr char kTypeLibKey[] = "TypeLib\\" PW_LIBID_TEXT;

HRESULT SetDefault(const std::string& keyPath, const std::string& value) {
    HKEY key = nullptr;
    LONG error = RegCreateKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE,
                                 nullptr, &key, nullptr);
    if (error == ERROR_SUCCESS) {
        error =
            RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    }
    return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(error));
}

}  // namespace

HRESULT RegisterTypeLibrary(const std::string& libraryPath) {
    const std::string version = std::string(kTypeLibKey) + "\\1.0";
    const std::string folder = libraryPath.substr(0, libraryPath.rfind('/'));
    HRESULT hr = SetDefault(version, "iPipewayProvider 1.0 Type Library");
    if (SUCCEEDED(hr)) {
        hr = SetDefault(version + "\\0\\win64", libraryPath);
    }
    if (SUCCEEDED(hr)) {
        hr = SetDefault(version + "\\FLAGS", "0");
    }
    if (SUCCEEDED(hr)) {
        hr = SetDefault(version + "\\HELPDIR", folder);
    }
    return hr;
}

HRESULT UnregisterTypeLibrary() {
    const LONG error = RegDeleteTreeA(HKEY_CLASSES_ROOT, kTypeLibKey);
    return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND
               ? S_OK
               : HRESULT_FROM_WIN32(static_cast<DWORD>(error));
}
