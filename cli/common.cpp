#include "cli/common.h"

#include "core/pipeway_provider_impl.h"
#include "core/pp_status.h"
#include "pw/program_folder.h"
#include "pw/stack_layout.h"

#include <windows.h>

#include "pw/resources.h"
#include "pw/text.h"

namespace pipeway {

namespace fs = std::filesystem;

namespace {

using namespace PipewayMgtData;

struct Meaning {
    std::int32_t code;
    const char* text;
};

constexpr Meaning kMeanings[] = {
    {kSuccess, "success"},
    {kNoTokens, "the command line cannot be cut into tokens"},
    {kCacheLockFailed, "the DA module cache cannot be locked"},
    {kNotEnoughArguments, "no tokens at all"},
    {kNoDaName, "no daname token"},
    {kUnknownDaName, "the daname value is not a known DA module"},
    {kNoVelCommand, "no velcmd token"},
    {kSyntaxError, "syntax error: a token without '=', or a second daname or velcmd token"},
    {kModuleUnusable, "the DA module cannot be used"},
    {kNotAuthorized, "the caller is not authorized to run the command"},
};

}  // namespace

fs::path ProgramFolder() {
    const fs::path folder = pw::ProgramFolder();
    return folder.empty() ? fs::path(".") : folder;
}

fs::path ProviderLibrary() {
    return ProgramFolder() / kProviderLibraryName;
}

fs::path DefaultStack() {
    return ConfiguredStack().value_or(ProgramFolder().parent_path() / "samples" / "stack");
}

std::string PipewayCommand(const fs::path& stack, const std::vector<std::string>& words) {
    // Appended piece by piece: GCC 12 warns falsely of overlapping copies (-Wrestrict) at -O3
    // for a chain of concatenations.
    std::string command = ShellQuote((ProgramFolder() / kProgramName).string());
    command += " --stack ";
    command += ShellQuote(fs::absolute(stack).lexically_normal().string());
    for (const std::string& word : words) {
        command += ' ';
        command += ShellQuote(word);
    }
    return command;
}

const char* ResultText(std::int32_t code) {
    for (const Meaning& meaning : kMeanings) {
        if (meaning.code == code) {
            return meaning.text;
        }
    }
    return "";
}

std::string ResultTable() {
    std::string table;
    for (const Meaning& meaning : kMeanings) {
        std::string code = std::to_string(meaning.code);
        code.insert(0, 5 - code.size(), ' ');
        table += code + "  " + meaning.text + "\n";
    }
    return table;
}

std::optional<std::vector<std::string>> CommandTokens(const std::vector<std::string>& words) {
    if (words.size() != 1) {
        return words;
    }
    std::string text = words[0];
    pw::core::TrimWhitespace(text);
    pw::TokenList tokens;
    if (PipewayProviderImpl::ConvertStrToVec(text, tokens).code != kSuccess) {
        return std::nullopt;
    }
    return tokens.ToVector();
}

std::optional<std::size_t> TokenIndex(const std::vector<std::string>& tokens,
                                      const std::string& name) {
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const std::size_t equals = tokens[i].find('=');
        std::string tokenName = tokens[i].substr(0, equals);
        if (equals != std::string::npos &&
            PipewayProviderImpl::ProcessArgument(tokenName, "NAME") && tokenName == name) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::string> TokenValue(const std::vector<std::string>& tokens,
                                      const std::string& name) {
    const std::optional<std::size_t> index = TokenIndex(tokens, name);
    return index ? std::optional<std::string>(tokens[*index].substr(tokens[*index].find('=') + 1))
                 : std::nullopt;
}

const char* LibraryExtension() {
    return pw::stack::kLibraryExtension;
}

std::string LibraryFileName(const std::string& module) {
    return module + LibraryExtension();
}

Stack CheckStack(const fs::path& folder) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        throw UsageError{"the stack folder " + folder.string() + " cannot be read"};
    }
    Stack stack{fs::absolute(folder).lexically_normal(), {}};
    std::vector<std::string> missing;
    const std::string services = LibraryFileName("kordo64");
    const std::string rights = LibraryFileName("rukda64");
    if (!fs::is_regular_file(stack.folder / services, error)) {
        missing.push_back("the common-services library " + services);
    }
    if (!fs::is_regular_file(stack.folder / rights, error)) {
        missing.push_back("the rights module " + rights);
    }
    if (missing.empty()) {
        UseStack(stack.folder);
        const std::optional<std::string> root = pw::stack::RootInstallPath();
        if (!root) {
            missing.push_back("an install root (" + services + " reports none)");
        } else if (!fs::is_directory(*root, error)) {
            missing.push_back("the install root " + *root + " that " + services + " reports");
        } else {
            stack.installRoot = *root;
        }
    }
    if (!missing.empty()) {
        std::string message = folder.string() + " is not a stack: it lacks ";
        for (std::size_t i = 0; i < missing.size(); ++i) {
            message += (i == 0 ? "" : i + 1 == missing.size() ? " and " : ", ") + missing[i];
        }
        throw UsageError{message};
    }
    return stack;
}

}  // namespace pipeway
