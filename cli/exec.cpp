#include "cli/call.h"

#include "cli/common.h"
#include "host/method_call.h"
#include "cli/output.h"
#include "core/pp_status.h"
#include "pw/resources.h"

#include "cli/policy_commands.h"
#include "cli/policy_diagnosis.h"
#include "core/da_module.h"
#include "pw/events.h"

#include <cctype>
#include <cstdio>
#include <optional>

namespace pipeway {

namespace {

const WCHAR* const kInstancePath =
    L"ZOLM_OEM_DataAccessModule.InstanceID=\"ZOLM_OEM_DataAccessModule1\"";

// A ResultCode's decimal text as a number; -1 when it is not one.
std::int32_t ResultNumber(const std::wstring& code) {
    if (code.empty() || code.size() > 9 ||
        code.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return -1;
    }
    return static_cast<std::int32_t>(std::stol(code));
}

// The DA module names a client may give, and their short forms: "lumda64, ..." and
// "lumda, ...".
std::string ModuleNames(bool shortForms) {
    std::string names;
    for (const std::string_view name : g_validDANames) {
        names += (names.empty() ? "" : ", ") +
                 std::string(shortForms ? name.substr(0, name.size() - 2) : name);
    }
    return names;
}

// The module name a mistaken daname value was probably meant to be: one of the names, or its
// short form, in another letter case (blanks around it as validation drops them).
std::optional<std::string> MeantModule(const std::string& value) {
    const std::size_t start = value.find_first_not_of(" \t");
    std::string wanted = start == std::string::npos
                             ? std::string()
                             : value.substr(start, value.find_last_not_of(" \t") - start + 1);
    for (char& c : wanted) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const std::string_view name : g_validDANames) {
        if (wanted == name || wanted + "64" == name) {
            return std::string(name);
        }
    }
    return std::nullopt;
}

// After 102: what the value may be, and the command with the name it was probably meant to be,
// for the same client.
void PrintNameHint(const std::vector<std::string>& tokens, bool asArray,
                   const CallOptions& options) {
    std::fprintf(stderr,
                 "pipeway: daname names one of the six DA modules %s; a name without \"64\" is "
                 "completed (%s). The value is compared in its exact letter case; token names "
                 "(daname, velcmd) are not\n",
                 ModuleNames(false).c_str(), ModuleNames(true).c_str());
    const std::optional<std::size_t> index = TokenIndex(tokens, "daname");
    const std::optional<std::string> meant =
        index ? MeantModule(tokens[*index].substr(tokens[*index].find('=') + 1)) : std::nullopt;
    if (!meant) {
        return;
    }
    std::vector<std::string> corrected = tokens;
    corrected[*index] = "daname=" + *meant;
    std::vector<std::string> words = {"exec"};
    if (options.userNamed) {
        words.insert(words.end(), {"--user", Narrow(options.user)});
    }
    if (asArray) {
        words.push_back("--array");
        words.insert(words.end(), corrected.begin(), corrected.end());
    } else {
        std::string line;
        for (const std::string& token : corrected) {
            line += (line.empty() ? "" : " ") + token;
        }
        words.push_back(line);
    }
    std::fprintf(stderr, "pipeway: did you mean %s? run: %s\n", meant->c_str(),
                 PipewayCommand(options.stack, words).c_str());
}

// Where to look next after a refusal, on standard error: a command that works when pasted, on
// the same stack and for the same client.
void PrintHint(std::int32_t code, const CallOptions& options) {
    const bool asArray = options.array || options.args.size() > 1;
    const std::optional<std::vector<std::string>> tokens = CommandTokens(options.args);
    if (code == PipewayMgtData::kUnknownDaName && tokens) {
        PrintNameHint(*tokens, asArray, options);
    } else if (code == PipewayMgtData::kModuleUnusable) {
        const std::optional<std::string> module =
            tokens ? TokenValue(*tokens, "daname") : std::nullopt;
        std::fprintf(
            stderr, "pipeway: to see why, run: %s\n",
            PipewayCommand(options.stack, {"module", "check", module.value_or("NAME")}).c_str());
    } else if (code == PipewayMgtData::kNotAuthorized) {
        std::vector<std::string> words = {"policy", "explain", "--user", Narrow(options.user)};
        words.insert(words.end(), options.args.begin(), options.args.end());
        std::fprintf(stderr, "pipeway: to see which policy entry refuses it, run: %s\n",
                     PipewayCommand(options.stack, words).c_str());
    }
}

// An answer travels back to the client through the WMI service, whole and in memory; a module
// that answers nothing, or very much, is worth a word on standard error.
constexpr std::size_t kLargeAnswer = 1 << 20;

void WarnOfAnswerSize(std::size_t characters) {
    if (characters == 0) {
        std::fprintf(stderr, "pipeway: warning: the module returned no answer\n");
    } else if (characters > kLargeAnswer) {
        std::fprintf(stderr,
                     "pipeway: warning: the module's answer is %zu characters long, more than "
                     "%zu: WMI carries it to the client whole\n",
                     characters, kLargeAnswer);
    }
}

constexpr int Id(pw::events::Event event) {
    return static_cast<int>(event);
}

// The module validation settles on for the command line, when it settles on one.
std::optional<std::string> ValidatedModule(const CallOptions& options) {
    const std::optional<std::vector<std::string>> tokens = CommandTokens(options.args);
    if (!tokens) {
        return std::nullopt;
    }
    const PipewayProviderImpl request(PipewayProviderImpl::ValidationOnly{}, *tokens);
    return request.Status() == PipewayMgtData::kSuccess
               ? std::optional<std::string>(request.DAName())
               : std::nullopt;
}

// Why the module of a 105 could not be used, as the provider reported it: "Unable to load the
// DA (error 126: ...)"; empty when no report says.
std::string UnusableModuleReason(const EventWatch& events,
                                 const std::optional<std::string>& module) {
    for (const host::LoggedEvent& event : events.Raised()) {
        if (event.id == Id(pw::events::Event::kModuleUnusable) && event.strings.size() >= 2 &&
            (!module || event.strings[0] == *module)) {
            return event.strings[1];
        }
        if (event.id == Id(pw::events::Event::kLibraryFolderMissing) && !event.strings.empty()) {
            return "no library folder: " + event.strings[0] +
                   " is missing, empty or not a full path";
        }
    }
    return "";
}

}  // namespace

int Exec(IWbemServices* provider, host::ClassObject* definition, const CallOptions& options,
         const EventWatch& events) {
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
    const host::CallAnswer answer = [&] {
        const ProviderOutput output;
        return call.Call(provider, options.user, options.level);
    }();
    if (FAILED(answer.hr) || answer.objects == 0) {
        return ReportFailure(FAILED(answer.hr) ? answer.hr : pw::Hr(WBEM_E_FAILED), options.json);
    }
    const std::optional<std::wstring>& code = answer.resultCode;
    const std::optional<std::wstring>& value = answer.returnValue;
    const std::int32_t number = code ? ResultNumber(*code) : -1;
    std::string meaning = ResultText(number);
    if (number == PipewayMgtData::kModuleUnusable) {
        const std::string reason = UnusableModuleReason(events, ValidatedModule(options));
        meaning += reason.empty() ? "" : ": " + reason;
    }
    if (options.json) {
        nlohmann::ordered_json line = {{"hresult", HexResult(answer.hr)}};
        // A number, as scripts compare it; WMI carries it as a string, kept when it is none.
        if (code && number >= 0) {
            line["resultCode"] = number;
        } else if (code) {
            line["resultCode"] = nullptr;
            line["resultCodeText"] = Narrow(*code);
        }
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
    if (number == PipewayMgtData::kSuccess) {
        WarnOfAnswerSize(value ? value->size() : 0);
    }
    PrintHint(number, options);
    return code && *code == L"0" ? kExitOk : kExitResult;
}

void ExplainEvents(const std::vector<host::LoggedEvent>& events) {
    for (const host::LoggedEvent& event : events) {
        if (event.id == Id(pw::events::Event::kPolicyUnreadable) && event.strings.size() >= 2) {
            std::fprintf(stderr,
                         "pipeway: the exclusion file %s cannot be used: it %s. Every caller "
                         "is refused, the true administrator too; pipeway policy install FILE "
                         "puts a checked one in place\n",
                         event.strings[0].c_str(), event.strings[1].c_str());
        } else if (event.id == Id(pw::events::Event::kPolicySyntaxError) &&
                   event.strings.size() >= 2) {
            // Read again, for the place and the words of the mistake.
            const std::string& path = event.strings[0];
            const ParsedPolicy parsed = ReadPolicy(path);
            if (parsed.bytes && parsed.syntaxError) {
                std::fprintf(stderr, "%s",
                             DescribeSyntaxError(path, *parsed.bytes, *parsed.syntaxError,
                                                 parsed.file.store->RoleTable().size())
                                 .c_str());
            } else {
                std::fprintf(stderr,
                             "pipeway: the exclusion file %s has a syntax error at line:column "
                             "%s: the provider keeps the entries before it (pipeway policy "
                             "check %s)\n",
                             path.c_str(), event.strings[1].c_str(), path.c_str());
            }
        }
    }
}

}  // namespace pipeway
