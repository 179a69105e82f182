// The COM runtime calls: apartment bookkeeping, class objects, task memory.
#include "platform/src/no_throw.h"
#include <wmiutils.h>

#include <dlfcn.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

// The calling thread's apartment: how often it was entered and with which model.
struct Apartment {
    int entries = 0;
    DWORD model = COINIT_MULTITHREADED;
};

thread_local Apartment t_apartment;

std::string GuidText(const GUID& guid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
    return text;
}

// The default value of a key under the classes root, or empty.
std::string ClassesRootDefault(const std::string& keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {};
    }
    char value[4096] = {};
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    const LONG error =
        RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return error == ERROR_SUCCESS && type == REG_SZ ? std::string(value) : std::string();
}

// An in-process server registered under CLSID\{clsid}\InprocServer32, as COM activates
// it: the library is loaded and asked for its class object. The library stays loaded.
HRESULT RegisteredClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
    const std::string path = ClassesRootDefault("CLSID\\" + GuidText(clsid) + "\\InprocServer32");
    if (path.empty()) {
        return REGDB_E_CLASSNOTREG;
    }
    HMODULE library = LoadLibraryA(path.c_str());
    if (library == nullptr) {
        return CO_E_DLLNOTFOUND;
    }
    using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
    FARPROC proc = GetProcAddress(library, "DllGetClassObject");
    if (proc == nullptr) {
        FreeLibrary(library);
        return CO_E_ERRORINDLL;
    }
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void (*)()>(proc));
    return getClassObject(clsid, riid, ppv);
}

// The object-path parser is one of the system's own servers, as on Windows: the library
// pwwbempath.so beside this one, loaded on first use and kept, and asked for its class object.
HRESULT SystemPathParser(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
    static void* const library = [] {
        Dl_info self{};
        if (::dladdr(reinterpret_cast<void*>(&CoGetClassObject), &self) == 0 ||
            self.dli_fname == nullptr) {
            return static_cast<void*>(nullptr);
        }
        std::string path(self.dli_fname);
        path.erase(path.rfind('/') + 1);
        return ::dlopen((path + "pwwbempath.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    }();
    void* proc = library == nullptr ? nullptr : ::dlsym(library, "DllGetClassObject");
    if (proc == nullptr) {
        return library == nullptr ? CO_E_DLLNOTFOUND : CO_E_ERRORINDLL;
    }
    using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
    return reinterpret_cast<GetClassObjectFn>(proc)(clsid, riid, ppv);
}

// A class ID in its registry form, {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
HRESULT ClsidFromText(const std::string& text, LPCLSID clsid) {
    constexpr std::string_view kForm = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (text.size() != kForm.size()) {
        return CO_E_CLASSSTRING;
    }
    for (std::size_t i = 0; i < kForm.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (kForm[i] == 'X' ? std::isxdigit(c) == 0 : text[i] != kForm[i]) {
            return CO_E_CLASSSTRING;
        }
    }
    const auto hex = [&text](std::size_t pos, std::size_t digits) {
        return std::stoull(text.substr(pos, digits), nullptr, 16);
    };
    GUID guid{};
    guid.Data1 = static_cast<decltype(guid.Data1)>(hex(1, 8));
    guid.Data2 = static_cast<WORD>(hex(10, 4));
    guid.Data3 = static_cast<WORD>(hex(15, 4));
    const std::size_t bytes[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        guid.Data4[i] = static_cast<BYTE>(hex(bytes[i], 2));
    }
    *clsid = guid;
    return S_OK;
}

}  // namespace

extern "C" {

HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    (void)pvReserved;
    const DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
    if (t_apartment.entries > 0 && t_apartment.model != model) {
        return RPC_E_CHANGED_MODE;
    }
    t_apartment.model = model;
    return t_apartment.entries++ == 0 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize(void) {
    if (t_apartment.entries > 0) {
        --t_apartment.entries;
    }
}

HRESULT WINAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid,
                                LPVOID* ppv) {
    return pwplatform::NoThrow<HRESULT>(E_OUTOFMEMORY, 0, [&]() -> HRESULT {
        (void)pvReserved;
        if (ppv == nullptr) {
            return E_INVALIDARG;
        }
        *ppv = nullptr;
        if (rclsid == CLSID_WbemDefPath && (dwClsContext & CLSCTX_INPROC_SERVER) != 0) {
            return SystemPathParser(rclsid, riid, ppv);
        }
        if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) {
            return REGDB_E_CLASSNOTREG;
        }
        return RegisteredClassObject(rclsid, riid, ppv);
    });
}

HRESULT WINAPI CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
    return pwplatform::NoThrow<HRESULT>(E_OUTOFMEMORY, 0, [&]() -> HRESULT {
        if (lpszProgID == nullptr || lpclsid == nullptr) {
            return E_INVALIDARG;
        }
        std::string progId;
        for (const wchar_t* c = lpszProgID; *c != L'\0'; ++c) {
            progId += static_cast<char>(*c < 0x80 ? *c : L'?');
        }
        const std::string text = ClassesRootDefault(progId + "\\CLSID");
        if (text.empty()) {
            return CO_E_CLASSSTRING;
        }
        return ClsidFromText(text, lpclsid);
    });
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    const HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                        reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) {
        return hr;
    }
    const HRESULT created = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    return created;
}

}  // extern "C"
