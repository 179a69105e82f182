#include "provider/registration.h"

#include "provider/identifiers.h"
#include "pw/resources.h"

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

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
class SystemDefaultLocale : private pw::NoCopy {
  public:
    SystemDefaultLocale() : m_saved(GetThreadLocale()) { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~SystemDefaultLocale() { SetThreadLocale(m_saved); }

  private:
    LCID m_saved;
};

HRESULT FromWin32(LONG error) {
    return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(error));
}

}  // namespace

HRESULT SetClassesRootString(const std::string& keyPath, const char* name,
                             const std::string& value) {
    pw::UniqueKey key;
    LONG error = RegCreateKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE,
                                 nullptr, key.put(), nullptr);
    if (error != ERROR_SUCCESS) {
        return FromWin32(error);
    }
    error = RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1));
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

// One value of the class's registration. Built by a constructor, not as an aggregate: g++
// destroys the finished elements of a partly built array of strings twice when a later one
// throws (a failed allocation), and frees the same block twice.
struct RegistryStep {
    RegistryStep(std::string keyPath, const char* valueName, std::string text)
        : key(std::move(keyPath)), name(valueName), value(std::move(text)) {}
    std::string key;
    const char* name;  // null: the key's default value
    std::string value;
};

HRESULT RegisterClass(const std::string& libraryPath) {
    const std::string classKey = kClassKey;
    std::vector<RegistryStep> steps;
    steps.reserve(12);
    steps.emplace_back(kProgId, nullptr, kDescription);
    steps.emplace_back(std::string(kProgId) + "\\CLSID", nullptr, PW_CLSID_TEXT);
    steps.emplace_back(kIndependentProgId, nullptr, kDescription);
    steps.emplace_back(std::string(kIndependentProgId) + "\\CLSID", nullptr, PW_CLSID_TEXT);
    steps.emplace_back(std::string(kIndependentProgId) + "\\CurVer", nullptr, kProgId);
    steps.emplace_back(classKey, nullptr, kDescription);
    steps.emplace_back(classKey, "AppID", "{" PW_APPID_TEXT "}");
    steps.emplace_back(classKey + "\\ProgID", nullptr, kProgId);
    steps.emplace_back(classKey + "\\VersionIndependentProgID", nullptr, kIndependentProgId);
    steps.emplace_back(classKey + "\\InprocServer32", nullptr, libraryPath);
    steps.emplace_back(classKey + "\\InprocServer32", "ThreadingModel", "Both");
    steps.emplace_back(classKey + "\\TypeLib", nullptr, PW_LIBID_TEXT);
    // The class key is written afresh, whatever an earlier registration left in it.
    HRESULT hr = RemoveTree(classKey);
    for (const RegistryStep& step : steps) {
        if (FAILED(hr)) {
            break;
        }
        hr = SetClassesRootString(step.key, step.name, step.value);
    }
    return hr;
}

// Removes the keys in order, up to the first that cannot be removed.
HRESULT RemoveTrees(std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        const HRESULT hr = RemoveTree(key);
        if (FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
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
    HRESULT hr = RemoveTrees({kClassKey, kProgId, kIndependentProgId});
    if (SUCCEEDED(hr)) {
        hr = UnregisterTypeLibrary();
    }
    if (SUCCEEDED(hr)) {
        hr = RemoveTrees({kAppIdKey, kAppIdDllKey});
    }
    return hr;
}
