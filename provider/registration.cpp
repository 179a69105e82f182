#include "registration.h"

#include "identifiers.h"

#include <string>

namespace {

constexpr char kAppIdName[] = "iPipewayProvider";
constexpr char kDescription[] = "WMIPipewayProvider Class";
constexpr char kProgId[] = "iPipewayProvider.WMIPipewayProvider.1";
constexpr char kIndependentProgId[] = "iPipewayProvider.WMIPipewayProvider";
constexpr char kClassKey[] = "CLSID\\" PW_CLSID_TEXT;
constexpr char kAppIdKey[] = "AppID\\" PW_APPID_TEXT;
constexpr char kAppIdDllKey[] = "AppID\\iPipewayProvider.DLL";

// The thread's locale is the system default while the server registers, and is restored on
// every way out.
class SystemDefaultLocale {
  public:
    SystemDefaultLocale() : m_saved(GetThreadLocale()) { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~SystemDefaultLocale() { SetThreadLocale(m_saved); }
    SystemDefaultLocale(const SystemDefaultLocale&) = delete;
    SystemDefaultLocale& operator=(const SystemDefaultLocale&) = delete;

  private:
    LCID m_saved;
};

HRESULT FromWin32(LONG error) {
    return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(error));
}

}  // namespace

HRESULT SetClassesRootString(const std::string& keyPath, const char* name,
                             const std::string& value) {
    HKEY key = nullptr;
    LONG error = RegCreateKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE,
                                 nullptr, &key, nullptr);
    if (error != ERROR_SUCCESS) {
        return FromWin32(error);
    }
    error = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    return FromWin32(error);
}

namespace {

// Removes a key with everything under it; a key that is not there is no failure.
HRESULT RemoveTree(const std::string& keyPath) {
    const LONG error = RegDeleteTreeA(HKEY_CLASSES_ROOT, keyPath.c_str());
    return error == ERROR_FILE_NOT_FOUND ? S_OK : FromWin32(error);
}

HRESULT RegisterAppId() {
    HRESULT hr = SetClassesRootString(kAppIdKey, nullptr, kAppIdName);
    if (SUCCEEDED(hr)) {
        hr = SetClassesRootString(kAppIdDllKey, "AppID", PW_APPID_TEXT);
    }
    return hr;
}

HRESULT RegisterClass(const std::string& libraryPath) {
    const std::string classKey = kClassKey;
    const std::string steps[][3] = {
        {kProgId, "", kDescription},
        {std::string(kProgId) + "\\CLSID", "", PW_CLSID_TEXT},
        {kIndependentProgId, "", kDescription},
        {std::string(kIndependentProgId) + "\\CLSID", "", PW_CLSID_TEXT},
        {std::string(kIndependentProgId) + "\\CurVer", "", kProgId},
        {classKey, "", kDescription},
        {classKey, "AppID", "{" PW_APPID_TEXT "}"},
        {classKey + "\\ProgID", "", kProgId},
        {classKey + "\\VersionIndependentProgID", "", kIndependentProgId},
        {classKey + "\\InprocServer32", "", libraryPath},
        {classKey + "\\InprocServer32", "ThreadingModel", "Both"},
        {classKey + "\\TypeLib", "", PW_LIBID_TEXT},
    };
    // The class key is written afresh, whatever an earlier registration left in it.
    HRESULT hr = RemoveTree(classKey);
    for (const auto& step : steps) {
        if (FAILED(hr)) {
            break;
        }
        hr = SetClassesRootString(step[0], step[1].empty() ? nullptr : step[1].c_str(), step[2]);
    }
    return hr;
}

HRESULT UnregisterClass() {
    HRESULT hr = RemoveTree(kClassKey);
    if (SUCCEEDED(hr)) {
        hr = RemoveTree(kProgId);
    }
    if (SUCCEEDED(hr)) {
        hr = RemoveTree(kIndependentProgId);
    }
    return hr;
}

HRESULT UnregisterAppId() {
    HRESULT hr = RemoveTree(kAppIdKey);
    if (SUCCEEDED(hr)) {
        hr = RemoveTree(kAppIdDllKey);
    }
    return hr;
}

}  // namespace

HRESULT RegisterServer() {
    SystemDefaultLocale locale;
    const std::string libraryPath = OwnLibraryPath();
    if (libraryPath.empty()) {
        return E_UNEXPECTED;
    }
    HRESULT hr = RegisterAppId();
    if (SUCCEEDED(hr)) {
        hr = RegisterClass(libraryPath);
    }
    if (SUCCEEDED(hr)) {
        hr = RegisterTypeLibrary(libraryPath);
    }
    return hr;
}

HRESULT UnregisterServer() {
    SystemDefaultLocale locale;
    HRESULT hr = UnregisterClass();
    if (SUCCEEDED(hr)) {
        hr = UnregisterTypeLibrary();
    }
    if (SUCCEEDED(hr)) {
        hr = UnregisterAppId();
    }
    return hr;
}
