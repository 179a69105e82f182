// pipeway: runs commands, enumerations and lookups through the real provider library, the way
// the WMI service calls it, against a stack folder (by default the bundled sample stack).
//
// The commands and their options are declared in Parse (pipeway --help).
//
// A stack folder holds the DA module libraries and the common-services library (it is the
// folder that "CorvaneLibPath" names) and the install root "root" inside it. On POSIX the
// registry is the file "registry.txt" of the stack, which pipeway points at the stack.
//
// On Windows pipeway creates the provider as the WMI service does, through the class's
// registration (ProgID, CLSID, CoCreateInstance), when the class is registered; otherwise it
// loads WinPipeway.dll from its own folder.
#include "client_call.h"
#include "event_file.h"
#include "host_objects.h"
#include "method_call.h"
#include "pipeway_common.h"
#include "pipeway_module.h"
#include "pipeway_policy.h"
#include "pp_status.h"
#include "provider_host.h"
#include "pw/program_folder.h"
#include "pw/resources.h"
#include "pw/stack_layout.h"
#include "pw/text.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <wbemidl.h>
#define SECURITY_WIN32
#include <security.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using pipeway::kExitCallFailed;
using pipeway::kExitOk;
using pipeway::kExitResult;
using pipeway::kExitUsage;
using pipeway::UsageError;

const WCHAR* const kInstancePath =
    L"ZOLM_OEM_DataAccessModule.InstanceID=\"ZOLM_OEM_DataAccessModule1\"";

const WCHAR kProviderProgId[] = L"iPipewayProvider.WMIPipewayProvider";

struct Options {
    fs::path stack;
    bool trace = false;
    bool verbose = false;
    std::string command;
    std::wstring user;
    DWORD level = RPC_C_IMP_LEVEL_IMPERSONATE;
    bool array = false;
    bool json = false;
    std::vector<std::string> args;
    pipeway::PolicyOptions policy;
    pipeway::ModuleOptions module;
};

// The end of every help text.
std::string HelpFooter() {
    return "ResultCode (exec):\n" + pipeway::ResultTable() +
           "\nExit status: 0 the call succeeded with ResultCode 0; 1 another ResultCode (policy:\n"
           "refused, or a broken file); 2 the WMI call failed; 64 a usage error.";
}

// What a person reads and types is UTF-8; text that does not convert is shown as nothing.
std::string Narrow(const std::wstring& wide) {
    return pw::Narrow(wide.c_str(), CP_UTF8).value_or(std::string());
}

std::wstring Widen(const std::string& text) {
    return pw::Widen(text.c_str(), CP_UTF8).value_or(std::wstring());
}

// One JSON object per line. Text that is not UTF-8 is written with replacement characters, so
// the line stays valid JSON whatever bytes a module answered.
void PrintJson(const nlohmann::ordered_json& object) {
    std::printf(
        "%s\n",
        object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
}

std::string HexResult(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

std::string ResultName(HRESULT hr) {
    static const std::map<HRESULT, const char*> names = {
        {S_OK, "S_OK"},
        {pw::Hr(WBEM_E_FAILED), "WBEM_E_FAILED"},
        {pw::Hr(WBEM_E_NOT_FOUND), "WBEM_E_NOT_FOUND"},
        {pw::Hr(WBEM_E_ACCESS_DENIED), "WBEM_E_ACCESS_DENIED"},
        {pw::Hr(WBEM_E_PROVIDER_FAILURE), "WBEM_E_PROVIDER_FAILURE"},
        {pw::Hr(WBEM_E_OUT_OF_MEMORY), "WBEM_E_OUT_OF_MEMORY"},
        {pw::Hr(WBEM_E_INVALID_PARAMETER), "WBEM_E_INVALID_PARAMETER"},
        {pw::Hr(WBEM_E_NOT_SUPPORTED), "WBEM_E_NOT_SUPPORTED"},
        {pw::Hr(WBEM_E_PROVIDER_NOT_CAPABLE), "WBEM_E_PROVIDER_NOT_CAPABLE"},
        {pw::Hr(WBEM_E_INVALID_METHOD), "WBEM_E_INVALID_METHOD"},
        {pw::Hr(WBEM_E_INVALID_METHOD_PARAMETERS), "WBEM_E_INVALID_METHOD_PARAMETERS"},
        {pw::Hr(WBEM_E_INVALID_OBJECT_PATH), "WBEM_E_INVALID_OBJECT_PATH"},
        {pw::Hr(WBEM_E_QUOTA_VIOLATION), "WBEM_E_QUOTA_VIOLATION"},
        {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE"},
        {RPC_E_CALL_COMPLETE, "RPC_E_CALL_COMPLETE"},
    };
    const auto found = names.find(hr);
    return found == names.end() ? "" : found->second;
}

fs::path ProgramFolder() {
    const fs::path folder = pw::ProgramFolder();
    return folder.empty() ? fs::path(".") : folder;
}

fs::path ProviderLibrary() {
#if defined(_WIN32)
    return ProgramFolder() / "WinPipeway.dll";
#else
    return ProgramFolder() / "WinPipeway.so";
#endif
}

fs::path DefaultStack() {
#if defined(_WIN32)
    if (const std::optional<std::string> folder = pw::stack::LibraryFolder()) {
        return *folder;
    }
#endif
    return ProgramFolder().parent_path() / "samples" / "stack";
}

// Reads the command line into `options`. Throws CLI11's errors: CallForHelp after --help (the
// help text is then in `help`), ParseError for a mistake.
void Parse(int argc, char** argv, Options& options, std::string& help) {
    CLI::App app(
        "Runs commands, enumerations and lookups through the provider library, the way "
        "the WMI service calls it, against a stack folder.",
        "pipeway");
    app.footer(HelpFooter());
    // Options of pipeway itself may also follow the command; nothing is read as a "/x" option.
    app.fallthrough();
    app.allow_windows_style_options(false);
    options.stack = DefaultStack();
    app.add_option("--stack", options.stack,
                   "the stack to run against (default: on Windows the folder that "
                   "CorvaneLibPath names, if set; otherwise the bundled sample stack)")
        ->option_text("DIR")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_flag("--trace", options.trace,
                 "switch the trace log on for this run and print the entries it added");
    app.add_flag("--verbose", options.verbose,
                 "say how the provider was created (registered class or library beside "
                 "pipeway) and which library served the call, on standard error");

    CLI::App* exec = app.add_subcommand(
        "exec",
        "run a DA command: one ARG is the command-line string, several (or --array) are "
        "one token each");
    std::string user;
    exec->add_option("--user", user, "the client account, DOMAIN\\user (POSIX only)");
    const std::map<std::string, DWORD> levels = {{"identify", RPC_C_IMP_LEVEL_IDENTIFY},
                                                 {"impersonate", RPC_C_IMP_LEVEL_IMPERSONATE},
                                                 {"delegate", RPC_C_IMP_LEVEL_DELEGATE}};
    std::string level = "impersonate";
    exec->add_option("--level", level, "the client's impersonation level")
        ->check(CLI::IsMember({"identify", "impersonate", "delegate"}))
        ->option_text("identify|impersonate|delegate");
    exec->add_flag("--array", options.array, "pass the tokens as an array");
    exec->add_flag("--json", options.json, "print the answer as one JSON object");
    exec->add_option("ARG", options.args, "the command line")->required();

    CLI::App* enumerate =
        app.add_subcommand("enum", "enumerate the class: the one instance with its addresses");
    enumerate->add_flag("--json", options.json, "print the instance as one JSON object");
    CLI::App* get = app.add_subcommand("get", "look the instance up by its object path");
    get->add_option("OBJECTPATH", options.args, "the object path")->required()->expected(1);
    get->add_flag("--json", options.json, "print the instance as one JSON object");
    app.add_subcommand("register", "call the library's registration entry point");
    app.add_subcommand("unregister", "call the library's unregistration entry point");
    pipeway::AddPolicyCommand(app, options.policy);
    pipeway::AddModuleCommand(app, options.module);
    // Words no command takes come back to pipeway (fallthrough), which names them below.
    app.allow_extras();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        help = app.help();
        throw;
    }
    const std::vector<std::string> unknown = app.remaining();
    if (!unknown.empty() && unknown.front().rfind('-', 0) == 0) {
        throw UsageError{"unknown option '" + unknown.front() + "'"};
    }
    if (app.get_subcommands().empty()) {
        throw UsageError{unknown.empty() ? "no command given"
                                         : "unknown command '" + unknown.front() + "'"};
    }
    options.command = app.get_subcommands().front()->get_name();
    if (options.command == "policy" &&
        options.policy.action == pipeway::PolicyOptions::Action::kNone) {
        throw UsageError{unknown.empty() ? "policy needs check or explain"
                                         : "unknown policy command '" + unknown.front() +
                                               "' (check or explain)"};
    }
    if (options.command == "module" && !options.module.check) {
        throw UsageError{unknown.empty() ? "module needs check"
                                         : "unknown module command '" + unknown.front() + "'"};
    }
    if (!unknown.empty()) {
        throw UsageError{"unexpected argument '" + unknown.front() + "' for " + options.command};
    }
    options.level = levels.at(level);
    options.user = Widen(user);
#if defined(_WIN32)
    if (!options.user.empty()) {
        throw UsageError{"--user is not available on Windows: the client is the current account"};
    }
#endif
}

// Switches the trace log on for the run when asked, and prints what the run added.
class TraceSwitch : private pw::NoCopy {
  public:
    TraceSwitch(bool enabled, const fs::path& installRoot)
        : m_enabled(enabled), m_file(installRoot.string() + pw::stack::kTraceLogFile) {
        if (!m_enabled) {
            return;
        }
        std::error_code error;
        m_created = !fs::exists(m_file, error);
        if (m_created) {
            fs::create_directories(m_file.parent_path(), error);
            std::ofstream(m_file).flush();
        }
        m_start = fs::exists(m_file, error) ? fs::file_size(m_file, error) : 0;
    }
    ~TraceSwitch() {
        if (!m_enabled) {
            return;
        }
        std::ifstream in(m_file, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(m_start));
        std::ostringstream added;
        added << in.rdbuf();
        in.close();
        std::printf("--- trace ---\n%s", added.str().c_str());
        if (m_created) {
            std::error_code error;
            fs::remove(m_file, error);
        }
    }

  private:
    bool m_enabled;
    fs::path m_file;
    bool m_created = false;
    std::uintmax_t m_start = 0;
};

int ReportFailure(HRESULT hr, bool json) {
    if (json) {
        PrintJson({{"hresult", HexResult(hr)}});
    } else {
        const std::string name = ResultName(hr);
        std::printf("call failed: %s%s%s\n", HexResult(hr).c_str(), name.empty() ? "" : " ",
                    name.c_str());
    }
    return kExitCallFailed;
}

// A ResultCode's decimal text as a number; -1 when it is not one.
std::int32_t ResultNumber(const std::wstring& code) {
    if (code.empty() || code.size() > 9 ||
        code.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return -1;
    }
    return static_cast<std::int32_t>(std::stol(code));
}

// Where to look next after a module or policy refusal, on standard error.
void PrintHint(std::int32_t code, const Options& options) {
    const bool asArray = options.array || options.args.size() > 1;
    const std::optional<std::vector<std::string>> tokens =
        pipeway::CommandTokens(options.args, asArray);
    if (code == PipewayMgtData::kModuleUnusable) {
        const std::optional<std::string> module =
            tokens ? pipeway::TokenValue(*tokens, "daname") : std::nullopt;
        std::fprintf(stderr, "pipeway: to see why, run: pipeway module check %s\n",
                     module ? module->c_str() : "NAME");
    } else if (code == PipewayMgtData::kNotAuthorized) {
        std::string command = "pipeway policy explain --user \"" + Narrow(options.user) + "\"";
        for (const std::string& arg : options.args) {
            command += " \"" + arg + "\"";
        }
        std::fprintf(stderr, "pipeway: to see which policy entry refuses it, run: %s\n",
                     command.c_str());
    }
}

int Exec(IWbemServices* provider, host::ClassObject* definition, const Options& options) {
    const bool asArray = options.array || options.args.size() > 1;
    pw::UniqueVariant input;
    if (asArray) {
        std::vector<std::wstring> tokens;
        for (const std::string& arg : options.args) {
            tokens.push_back(Widen(arg));
        }
        host::SetArrayInput(input, tokens);
    } else {
        host::SetStringInput(input, Widen(options.args[0]));
    }
    const host::MethodCall call(definition, kInstancePath,
                                asArray ? host::kExecuteCommandTokens : host::kExecuteCommand,
                                input.get());
    const host::CallAnswer answer = call.Call(provider, options.user, options.level);
    if (FAILED(answer.hr) || answer.objects == 0) {
        return ReportFailure(FAILED(answer.hr) ? answer.hr : pw::Hr(WBEM_E_FAILED), options.json);
    }
    const std::optional<std::wstring>& code = answer.resultCode;
    const std::optional<std::wstring>& value = answer.returnValue;
    const std::int32_t number = code ? ResultNumber(*code) : -1;
    const std::string meaning = pipeway::ResultText(number);
    if (options.json) {
        nlohmann::ordered_json line = {{"hresult", HexResult(answer.hr)}};
        if (code)
            line["resultCode"] = Narrow(*code);
        if (!meaning.empty())
            line["resultText"] = meaning;
        if (value)
            line["returnValue"] = Narrow(*value);
        PrintJson(line);
    } else {
        std::printf("ResultCode: %s%s\n", code ? Narrow(*code).c_str() : "(not set)",
                    meaning.empty() ? "" : (" (" + meaning + ")").c_str());
        if (value) {
            std::printf("ReturnValue: %s\n", Narrow(*value).c_str());
        }
    }
    PrintHint(number, options);
    return code && *code == L"0" ? kExitOk : kExitResult;
}

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
                            value ? Narrow(*value).c_str() : "(not set)");
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

// The exclusion file's scanner copies the file's line ends, and its parser a syntax error, to
// standard output; while the provider runs they are collected and only messages are shown.
class ParserOutput : private pw::NoCopy {
  public:
    ParserOutput() : m_saved(std::cout.rdbuf(m_captured.rdbuf())) {}
    ~ParserOutput() {
        std::cout.rdbuf(m_saved);
        const std::string text = m_captured.str();
        if (text.find_first_not_of(" \t\r\n") != std::string::npos) {
            std::fprintf(stderr, "exclusion file: %s",
                         text.c_str() + text.find_first_not_of(" \t\r\n"));
        }
    }

  private:
    std::ostringstream m_captured;
    std::streambuf* m_saved;
};

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

// The events an operation made the provider report, printed as an administrator would see them
// in the event log. Each reported event is also written as a line of the file
// "PIPEWAY_EVENTLOG" names (by the POSIX platform; on Windows by the provider, which runs in
// this process); pipeway names one of its own when none is set.
class EventWatch : private pw::NoCopy {
  public:
    EventWatch() {
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
    ~EventWatch() {
        if (m_own) {
            std::error_code error;
            fs::remove(m_file, error);
        }
    }

    // One line on standard error per event: "pipeway: event ID (TYPE): STRING | STRING".
    void Print() const {
        if (m_file.empty()) {
            return;
        }
        for (const host::LoggedEvent& event : host::ReadEvents(m_file, m_start)) {
            std::string strings;
            for (const std::string& text : event.strings) {
                strings += (strings.empty() ? "" : " | ") + text;
            }
            std::fprintf(stderr, "pipeway: event %d (%s): %s\n", event.id, event.type.c_str(),
                         strings.c_str());
        }
    }

  private:
    fs::path m_file;
    std::uintmax_t m_start = 0;
    bool m_own = false;
};

int Run(Options options) {
    if (options.user.empty()) {
        options.user = CurrentAccount();
    }
    if (options.command == "register" || options.command == "unregister") {
        return Register(options.command);
    }
    const pipeway::Stack stack = pipeway::CheckStack(options.stack);
    ParserOutput parserOutput;
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
        if (host.Registered()) {
            std::fprintf(stderr, "pipeway: provider created through the registered class %s %s\n",
                         Narrow(kProviderProgId).c_str(), ClassText(*host.Registered()).c_str());
        } else {
            std::fprintf(stderr,
                         "pipeway: provider created from the library beside pipeway (the class "
                         "is not registered)\n");
        }
        const std::string library = host::ImplementingLibrary(provider.get());
        std::fprintf(stderr, "pipeway: served by %s\n",
                     library.empty() ? "(a library that cannot be told)" : library.c_str());
    }
    {
        const pw::ComPtr<host::InitSink> initSink(new host::InitSink);
        host::ClientCall client(options.user, RPC_C_IMP_LEVEL_IMPERSONATE);
        hr = host.Initialize(provider.get(), initSink.get());
    }
    int status = kExitCallFailed;
    if (FAILED(hr)) {
        std::fprintf(stderr, "pipeway: the provider did not initialise: %s %s\n",
                     HexResult(hr).c_str(), ResultName(hr).c_str());
        status = ReportFailure(hr, options.json);
    } else if (options.command == "exec") {
        status = Exec(provider.get(), host.ClassDefinition(), options);
    } else {
        const pw::ComPtr<host::ObjectSink> sink(new host::ObjectSink);
        {
            host::ClientCall client(options.user, RPC_C_IMP_LEVEL_IMPERSONATE);
            if (options.command == "enum") {
                const pw::UniqueBstr className(L"ZOLM_OEM_DataAccessModule");
                hr = provider->CreateInstanceEnumAsync(className.get(), 0, nullptr, sink.get());
            } else {
                const pw::UniqueBstr path(Widen(options.args[0]).c_str());
                hr = provider->GetObjectAsync(path.get(), 0, nullptr, sink.get());
            }
        }
        status = PrintInstances(hr, sink.get(), options.json);
    }
    if (options.command == "exec" || options.verbose) {
        events.Print();
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string help;
    try {
        Parse(argc, argv, options, help);
        if (options.command == "policy") {
            return pipeway::RunPolicy(options.policy, options.stack);
        }
        if (options.command == "module") {
            return pipeway::RunModule(options.module, options.stack);
        }
        return Run(options);
    } catch (const CLI::CallForHelp&) {
        std::printf("%s", help.c_str());
        return kExitOk;
    } catch (const CLI::ParseError& error) {
        std::fprintf(stderr, "pipeway: %s (pipeway --help)\n", error.what());
        return kExitUsage;
    } catch (const UsageError& error) {
        std::fprintf(stderr, "pipeway: %s (pipeway --help)\n", error.message.c_str());
        return kExitUsage;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pipeway: %s\n", error.what());
        return kExitCallFailed;
    }
}
