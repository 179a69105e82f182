// The POSIX parts of registration: the library's own path, and the type library entries that
// the platform's type library registration writes, written directly.
#include "provider/registration.h"

#include "provider/identifiers.h"

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

}  // namespace

HRESULT RegisterTypeLibrary(const std::string& libraryPath) {
    const std::string version = std::string(kTypeLibKey) + "\\1.0";
    const std::string folder = libraryPath.substr(0, libraryPath.rfind('/'));
    HRESULT hr = SetClassesRootString(version, nullptr, "iPipewayProvider 1.0 Type Library");
    if (SUCCEEDED(hr)) {
        hr = SetClassesRootString(version + "\\0\\win64", nullptr, libraryPath);
    }
    if (SUCCEEDED(hr)) {
        hr = SetClassesRootString(version + "\\FLAGS", nullptr, "0");
    }
    if (SUCCEEDED(hr)) {
        hr = SetClassesRootString(version + "\\HELPDIR", nullptr, folder);
    }
    return hr;
}

HRESULT UnregisterTypeLibrary() {
    const LONG error = RegDeleteTreeA(HKEY_CLASSES_ROOT, kTypeLibKey);
    return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND
               ? S_OK
               : HRESULT_FROM_WIN32(static_cast<DWORD>(error));
}
