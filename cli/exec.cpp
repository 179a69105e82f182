#include "cli/call.h"

#include "cli/common.h"
#include "host/method_call.h"
#include "cli/output.h"
#include "core/pp_status.h"
#include "pw/resources.h"

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

// Where to look next after a module or policy refusal, on standard error: a command that works
// when pasted, on the same stack and for the same client.
void PrintHint(std::int32_t code, const CallOptions& options) {
    const bool asArray = options.array || options.args.size() > 1;
    const std::optional<std::vector<std::string>> tokens = CommandTokens(options.args, asArray);
    if (code == PipewayMgtData::kModuleUnusable) {
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

}  // namespace

int Exec(IWbemServices* provider, host::ClassObject* definition, const CallOptions& options) {
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
    const std::string meaning = ResultText(number);
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
    if (number == PipewayMgtData::kSuccess) {
        WarnOfAnswerSize(value ? value->size() : 0);
    }
    PrintHint(number, options);
    return code && *code == L"0" ? kExitOk : kExitResult;
}

}  // namespace pipeway
