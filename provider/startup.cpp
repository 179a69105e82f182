#include "provider/provider_object.h"

#include "pw/events.h"
#include "pw/stack_layout.h"
#include "log/trace_log.h"

#include <wmiutils.h>

#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

using pw::stack::kLibraryKey;
using pw::stack::kLibraryValue;

// Provider objects start on any WMI thread: one at a time reads and extends "PATH", so that two
// of them never both find the folder missing and add it twice, nor see "PATH" change between
// asking for its size and reading it. Constant-initialised: loading the library allocates nothing.
std::mutex g_environmentLock;

// The process's "PATH", or nothing when it is not set.
std::optional<std::string> ReadPath() {
    std::vector<char> path;
    for (;;) {
        const DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
        if (size == 0) {
            return std::nullopt;
        }
        path.assign(size, '\0');
        const DWORD length = GetEnvironmentVariableA("PATH", path.data(), size);
        if (length == 0) {
            return std::nullopt;
        }
        if (length < size) {
            return std::string(path.data(), length);
        }
        // Grown since its size was asked for (by another part of the host): ask again.
    }
}

}  // namespace

namespace {

// Without the value no stack library is loaded: the provider cannot start.
void ReportNoLibraryFolder() {
    pw::events::Report(pw::events::Event::kLibraryFolderMissing,
                       {std::string("HKLM\\") + kLibraryKey + "\\" + kLibraryValue});
}

}  // namespace

bool CWMIPipewayProvider::SetEnvironment() {
    pw::UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLibraryKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        TraceLog("Unable to Open The Key in setenvironemnt\n");
        ReportNoLibraryFolder();
        return false;
    }
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), kLibraryValue, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        ReportNoLibraryFolder();
        return false;
    }
    std::vector<char> directory(static_cast<std::size_t>(size) + 1, '\0');
    if (RegQueryValueExA(key.get(), kLibraryValue, nullptr, &type,
                         reinterpret_cast<BYTE*>(directory.data()), &size) != ERROR_SUCCESS) {
        return false;
    }
    directory[size] = '\0';
    TraceLog("CorvaneLibPath: %s\n", directory.data());

    const std::lock_guard<std::mutex> lock(g_environmentLock);
    const std::optional<std::string> path = ReadPath();
    if (!path) {
        return false;
    }
    TraceLog("EnvironronmentalPath %s\n", path->c_str());

    if (std::strstr(path->c_str(), directory.data()) != nullptr) {
        TraceLog("EnvPath not set\n");
        return true;
    }
    std::string extended = *path;
    extended += ';';
    extended += directory.data();
    TraceLog("Path: (%lu)%s\n", static_cast<unsigned long>(extended.size()), extended.c_str());
    return SetEnvironmentVariableA("PATH", extended.c_str()) != FALSE;
}

HRESULT STDMETHODCALLTYPE CWMIPipewayProvider::Initialize(LPWSTR, LONG, LPWSTR, LPWSTR,
                                                          IWbemServices* services,
                                                          IWbemContext* context,
                                                          IWbemProviderInitSink* initSink) {
    return GuardedEntry("CWMIPipewayProvider::Initialize", pw::kWbemFailures,
                        [&] { return InitializeAsClient(services, context, initSink); });
}

HRESULT CWMIPipewayProvider::InitializeAsClient(IWbemServices* services, IWbemContext* context,
                                                IWbemProviderInitSink* initSink) {
    ClientImpersonation client;
    HRESULT hr = client.Enter();
    if (FAILED(hr)) {
        return hr;
    }
    if (services == nullptr || initSink == nullptr) {
        return pw::Hr(WBEM_E_INVALID_PARAMETER);
    }
    m_namespace.copy_from(services);

    pw::UniqueBstr className(g_className);
    if (!className) {
        return pw::Hr(WBEM_E_OUT_OF_MEMORY);
    }
    hr = m_namespace->GetObject(className.get(), 0, context, m_classDef.put(), nullptr);
    if (FAILED(hr)) {
        return hr;
    }
    hr = CoGetClassObject(CLSID_WbemDefPath, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                          m_pathParserFactory.put_void());
    if (FAILED(hr)) {
        return hr;
    }
    m_providerHelper.reset(new (std::nothrow) CInstanceProviderHelper(services, context));
    if (!m_providerHelper) {
        return pw::Hr(WBEM_E_OUT_OF_MEMORY);
    }
    if (!SetEnvironment()) {
        return pw::Hr(WBEM_E_FAILED);
    }
    if (const std::optional<std::string> root = pw::stack::RootInstallPathOrReport()) {
        g_traceLogPath.Set(pw::stack::AnchoredPath{*root, pw::stack::kTraceLogFile});
    }
    TraceLog("<-- %s\n", "CWMIPipewayProvider::Initialize");
    return initSink->SetStatus(WBEM_S_INITIALIZED, 0);
}
