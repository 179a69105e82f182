#include "cli/call.h"

#include "host/client_call.h"
#include "cli/common.h"
#include "host/event_file.h"
#include "cli/output.h"
#include "host/provider_host.h"
#include "pw/resources.h"
#include "log/trace_log.h"
#include "pw/stack_files.h"
#include "pw/stack_layout.h"

#include <wbemidl.h>
#define SECURITY_WIN32
#include <security.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace pipeway {

namespace fs = std::filesystem;

namespace {

const WCHAR kProviderProgId[] = L"iPipewayProvider.WMIPipewayProvider";

// Switches the trace log on for the run when asked, and prints what the run added. The log is
// created only as a new file and read only as the provider appends to it (a regular file with
// one link, reached from the install root without a link): pipeway runs as an administrator.
class TraceSwitch : private pw::NoCopy {
  public:
    TraceSwitch(bool enabled, const fs::path& installRoot)
        : m_enabled(enabled), m_file{installRoot.string(), pw::stack::kTraceLogFile} {
        if (!m_enabled) {
            return;
        }
        m_created = pw::stack::CreateNewFile(m_file);
        if (!m_created) {
            const pw::stack::FileContent before = Read();
            m_start = before.content ? before.content->size() : 0;
            if (!before.content) {
                // The provider writes only to a regular file with one link that is there.
                std::fprintf(stderr,
                             "pipeway: tracing could not be switched on: the trace log %s "
                             "cannot be created, and it %s (the provider writes only to a "
                             "regular file with one link, reached without passing a link)\n",
                             m_file.Full().c_str(), before.refusal.c_str());
                m_enabled = false;
            }
        }
    }
    ~TraceSwitch() {
        if (!m_enabled) {
            return;
        }
        const pw::stack::FileContent log = Read();
        const std::string added =
            log.content && log.content->size() >= m_start ? log.content->substr(m_start) : "";
        std::printf("--- trace ---\n%s", added.c_str());
        if (m_created) {
            pw::stack::RemoveFile(m_file);
        }
    }

  private:
    pw::stack::FileContent Read() const {
        // The provider stops appending at its limit; a line may end just past it on Windows.
        return pw::stack::ReadRegularFile(m_file, kTraceLogLimit + 4096);
    }

    bool m_enabled;
    pw::stack::AnchoredPath m_file;
    bool m_created = false;
    std::size_t m_start = 0;
};

int PrintInstances(HRESULT hr, host::ObjectSink* sink, bool json) {
    const std::vector<IWbemClassObject*> objects = sink->Objects();
    if (FAILED(hr) || objects.empty()) {
        return ReportFailure(FAILED(hr) ? hr : pw::Hr(WBEM_E_NOT_FOUND), json);
    }
    const WCHAR* properties[] = {L"InstanceID", L"KestroIPv4", L"KestroIPv6"};
    for (IWbemClassObject* object : objects) {
        nlohmann::ordered_json line = {{"hresult", HexResult(hr)}};
        for (const WCHAR* property : properties) {
            const std::optional<std::wstring> value = host::StringProperty(object, property);
            if (json) {
                if (value) {
                    line[Narrow(property)] = Narrow(*value);
                }
            } else {
                std::printf("%s: %s\n", Narrow(property).c_str(),
                            value ? Narrow(*value).c_str()
                                  : "(not set: a lookup by path gives the key alone; enum reads "
                                    "the addresses)");
            }
        }
        if (json) {
            PrintJson(line);
        }
    }
    return kExitOk;
}

// The process's own account as DOMAIN\user, the client when none is named.
std::wstring CurrentAccount() {
    ULONG size = 0;
    GetUserNameExW(NameSamCompatible, nullptr, &size);
    std::wstring name(size + 1, L'\0');
    if (size == 0 || !GetUserNameExW(NameSamCompatible, name.data(), &size)) {
        return L"";
    }
    name.resize(size);
    return name;
}

// The library's own registration entry points, on the library beside pipeway.
int Register(const std::string& command) {
    host::ProviderHost host(ProviderLibrary().string());
    if (!host.Loaded()) {
        std::fprintf(stderr, "pipeway: the provider library %s cannot be loaded\n",
                     ProviderLibrary().string().c_str());
        return kExitCallFailed;
    }
    const HRESULT hr = command == "register" ? host.RegisterServer() : host.UnregisterServer();
    if (FAILED(hr)) {
        return ReportFailure(hr, false);
    }
    std::printf("%s: %s\n", command.c_str(), HexResult(hr).c_str());
    return kExitOk;
}

std::string ClassText(const CLSID& clsid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(clsid.Data1), clsid.Data2, clsid.Data3, clsid.Data4[0],
                  clsid.Data4[1], clsid.Data4[2], clsid.Data4[3], clsid.Data4[4], clsid.Data4[5],
                  clsid.Data4[6], clsid.Data4[7]);
    return text;
}

// How the provider was created and which library serves it, on standard error.
void PrintCreation(const host::ProviderHost& host, IWbemServices* provider) {
    if (host.Registered()) {
        std::fprintf(stderr, "pipeway: provider created through the registered class %s %s\n",
                     Narrow(kProviderProgId).c_str(), ClassText(*host.Registered()).c_str());
    } else {
        std::fprintf(stderr,
                     "pipeway: provider created from the library beside pipeway (the class "
                     "is not registered)\n");
    }
    const std::string library = host::ImplementingLibrary(provider);
    std::fprintf(stderr, "pipeway: served by %s\n",
                 library.empty() ? "(a library that cannot be told)" : library.c_str());
}

// enum and get: the instances the provider hands its sink, printed.
int EnumerateOrGet(IWbemServices* provider, const CallOptions& options) {
    const pw::ComPtr<host::ObjectSink> sink(new host::ObjectSink);
    HRESULT hr = S_OK;
    {
        host::ClientCall client(options.user, RPC_C_IMP_LEVEL_IMPERSONATE);
        const ProviderOutput output;
        if (options.command == "enum") {
            const pw::UniqueBstr className(L"ZOLM_OEM_DataAccessModule");
            hr = provider->CreateInstanceEnumAsync(className.get(), 0, nullptr, sink.get());
        } else {
            const pw::UniqueBstr path(Widen(options.args[0]).c_str());
            hr = provider->GetObjectAsync(path.get(), 0, nullptr, sink.get());
        }
    }
    if (options.command == "get" && hr == pw::Hr(WBEM_E_INVALID_PARAMETER)) {
        std::fprintf(stderr,
                     "pipeway: get needs the object path of the class with its key, such as "
                     "%s\n",
                     ShellQuote("ZOLM_OEM_DataAccessModule.InstanceID="
                                "\"ZOLM_OEM_DataAccessModule1\"")
                         .c_str());
    }
    return PrintInstances(hr, sink.get(), options.json);
}

}  // namespace

ProviderOutput::ProviderOutput() {
    std::cout.flush();
    std::fflush(stdout);
#if defined(_WIN32)
    // Deleted when closed ("D"); in the account's temporary folder, which it may write.
    char folder[MAX_PATH + 1] = {};
    char name[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameA(folder, "pwy", 0, name) == 0) {
        return;
    }
    m_file = std::fopen(name, "w+bD");
    if (m_file == nullptr) {
        DeleteFileA(name);
        return;
    }
    m_saved = _dup(_fileno(stdout));
    if (m_saved < 0 || _dup2(_fileno(m_file), _fileno(stdout)) != 0) {
        std::fclose(m_file);
        m_file = nullptr;
        return;
    }
    SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout))));
#else
    m_file = std::tmpfile();
    if (m_file == nullptr) {
        return;
    }
    m_saved = dup(STDOUT_FILENO);
    if (m_saved < 0 || dup2(fileno(m_file), STDOUT_FILENO) < 0) {
        std::fclose(m_file);
        m_file = nullptr;
    }
#endif
}

ProviderOutput::~ProviderOutput() {
    if (m_file == nullptr) {
        if (m_saved >= 0) {
#if defined(_WIN32)
            _close(m_saved);
#else
            close(m_saved);
#endif
        }
        return;
    }
    std::cout.flush();
    std::fflush(stdout);
#if defined(_WIN32)
    // The standard handle follows descriptor 1 back, whatever it was at start.
    _dup2(m_saved, _fileno(stdout));
    SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout))));
    _close(m_saved);
#else
    dup2(m_saved, STDOUT_FILENO);
    close(m_saved);
#endif
    std::fclose(m_file);
}

EventWatch::EventWatch() {
    const char* named = std::getenv("PIPEWAY_EVENTLOG");
    std::error_code error;
    if (named != nullptr && *named != '\0') {
        m_file = named;
        const std::uintmax_t size = fs::file_size(m_file, error);
        m_start = error ? 0 : size;
    } else {
        m_file = fs::temp_directory_path(error) /
                 ("pipeway-events-" + std::to_string(GetCurrentProcessId()) + ".txt");
        m_own = true;
        fs::remove(m_file, error);
        SetEnvironmentVariableA("PIPEWAY_EVENTLOG", m_file.string().c_str());
    }
}

EventWatch::~EventWatch() {
    if (m_own) {
        std::error_code error;
        fs::remove(m_file, error);
    }
}

std::vector<host::LoggedEvent> EventWatch::Raised() const {
    return m_file.empty() ? std::vector<host::LoggedEvent>() : host::ReadEvents(m_file, m_start);
}

void EventWatch::Print() const {
    for (const host::LoggedEvent& event : Raised()) {
        std::string strings;
        for (const std::string& text : event.strings) {
            strings += (strings.empty() ? "" : " | ") + text;
        }
        std::fprintf(stderr, "pipeway: event %d (%s): %s\n", event.id, event.type.c_str(),
                     strings.c_str());
    }
}

int RunCall(CallOptions options) {
    options.userNamed = !options.user.empty();
    if (options.user.empty()) {
        options.user = CurrentAccount();
    }
    if (options.command == "register" || options.command == "unregister") {
        return Register(options.command);
    }
    const pipeway::Stack stack = pipeway::CheckStack(options.stack);
    if (options.verbose) {
        std::fprintf(stderr, "pipeway: stack %s, install root %s (as kordo64 reports it)\n",
                     stack.folder.string().c_str(),
                     stack.installRoot.lexically_normal().string().c_str());
        std::fprintf(stderr, "pipeway: client %s\n", Narrow(options.user).c_str());
    }
    const EventWatch events;
    host::ProviderHost host(kProviderProgId, ProviderLibrary().string());
    if (!host.Loaded()) {
        std::fprintf(stderr, "pipeway: the provider library %s cannot be loaded\n",
                     ProviderLibrary().string().c_str());
        return kExitCallFailed;
    }
    TraceSwitch trace(options.trace, stack.installRoot);
    pw::ComPtr<IWbemServices> provider;
    HRESULT hr = host.CreateProvider(provider.put());
    if (FAILED(hr)) {
        if (host.Registered()) {
            std::fprintf(stderr, "pipeway: the registered class %s cannot be created\n",
                         Narrow(kProviderProgId).c_str());
        }
        return ReportFailure(hr, options.json);
    }
    if (options.verbose) {
        PrintCreation(host, provider.get());
    }
    {
        const pw::ComPtr<host::InitSink> initSink(new host::InitSink);
        host::ClientCall client(options.user, RPC_C_IMP_LEVEL_IMPERSONATE);
        const ProviderOutput output;
        hr = host.Initialize(provider.get(), initSink.get());
    }
    int status = kExitCallFailed;
    if (FAILED(hr)) {
        std::fprintf(stderr, "pipeway: the provider did not initialise: %s %s\n",
                     HexResult(hr).c_str(), ResultName(hr).c_str());
        status = ReportFailure(hr, options.json);
    } else if (options.command == "exec") {
        status = Exec(provider.get(), host.ClassDefinition(), options, events);
    } else {
        status = EnumerateOrGet(provider.get(), options);
    }
    if (options.command == "exec" || options.verbose) {
        events.Print();
        ExplainEvents(events.Raised());
    }
    return status;
}

}  // namespace pipeway
