#include "pipeway_policy.h"

#include "auth_exception.h"
#include "install_root.h"
#include "pipeway_provider_impl.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

namespace pipeway {
namespace {

namespace fs = std::filesystem;

const char* SectionOf(int role) {
    switch (role) {
        case ROLE_USER:
            return "USER";
        case ROLE_POWERUSER:
            return "POWERUSER";
        case ROLE_ADMIN:
            return "ADMIN";
        default:
            return "(none)";
    }
}

const char* RoleSetName(int effectiveSet) {
    switch (effectiveSet) {
        case ROLE_ADMIN:
            return "administrator";
        case ROLE_POWERUSER | ROLE_ADMIN:
            return "power user";
        case ROLE_USER | ROLE_POWERUSER | ROLE_ADMIN:
            return "user";
        default:
            return "no role";
    }
}

// The parse with the parser's standard output collected: the scanner copies the file's line
// ends there and the parser its syntax error message. Returns the message, if any.
struct ParsedPolicy {
    CSingletonAuthExceptionImpl::PolicyFile file;
    std::string message;
};

ParsedPolicy Parse(const std::string& path) {
    std::ostringstream captured;
    std::streambuf* saved = std::cout.rdbuf(captured.rdbuf());
    ParsedPolicy parsed;
    try {
        parsed.file = CSingletonAuthExceptionImpl::ReadPolicyFile(path);
    } catch (...) {
        std::cout.rdbuf(saved);
        throw;
    }
    std::cout.rdbuf(saved);
    const std::string text = captured.str();
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string::npos) {
        parsed.message = text.substr(first, text.find_last_not_of(" \t\r\n") + 1 - first);
    }
    return parsed;
}

bool Readable(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && std::ifstream(path).is_open();
}

int Check(const std::string& path) {
    if (!Readable(path)) {
        std::fprintf(stderr, "pipeway: the exclusion file %s cannot be read\n", path.c_str());
        return kExitResult;
    }
    const ParsedPolicy parsed = Parse(path);
    if (!parsed.file.accepted) {
        std::printf("%s: %s\n", path.c_str(),
                    parsed.message.empty() ? "syntax error" : parsed.message.c_str());
        return kExitResult;
    }
    const auto& table = parsed.file.store->RoleTable();
    std::size_t width = 3;
    for (const auto& [key, role] : table) {
        width = std::max(width, key.size());
    }
    std::printf("%-*s  %s  %s\n", static_cast<int>(width), "key", "role", "section");
    for (const auto& [key, role] : table) {
        std::printf("%-*s  %-4d  %s\n", static_cast<int>(width), key.c_str(), role,
                    SectionOf(role));
    }
    std::printf("%zu entr%s\n", table.size(), table.size() == 1 ? "y" : "ies");
    return kExitOk;
}

// The exclusion file of the stack: under the install root that the stack's common-services
// library reports.
std::string InstalledPolicy(const fs::path& stack) {
    std::string path = fs::absolute(stack).lexically_normal().string();
    const DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
    if (size > 0) {
        std::string current(size, '\0');
        current.resize(GetEnvironmentVariableA("PATH", current.data(), size));
        path += ';';
        path += current;
    }
    SetEnvironmentVariableA("PATH", path.c_str());
    const std::optional<std::string> root = GetRootInstallPath();
    if (!root) {
        throw UsageError{"the stack " + stack.string() +
                         " reports no install root (is kordo64 there?); name a file with --file"};
    }
    return *root + "/svx/pipeway/bin/authexclusion.xml";
}

std::uint32_t ParseMask(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long mask = std::strtoull(text.c_str(), &end, 0);
    if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0 || mask > 0xFFFFFFFFull) {
        throw UsageError{"--mask needs a 32-bit unsigned number, not '" + text + "'"};
    }
    return static_cast<std::uint32_t>(mask);
}

// The tokens of the command line as the provider makes them: one argument is a command-line
// string, several are one token each.
std::vector<std::string> Tokens(const std::vector<std::string>& words) {
    if (words.size() > 1) {
        return words;
    }
    std::string text = words[0];
    TrimWhitespace(text);
    std::vector<std::string> tokens;
    if (PipewayProviderImpl::ConvertStrToVec(text, tokens).code != 0) {
        throw UsageError{"the command line cannot be split into name=value tokens"};
    }
    return tokens;
}

// The command: the value of the velcmd token, its name cleaned as validation cleans it.
std::string CommandOf(const std::vector<std::string>& tokens) {
    for (const std::string& token : tokens) {
        const std::size_t equals = token.find('=');
        std::string name = token.substr(0, equals);
        if (equals != std::string::npos && PipewayProviderImpl::ProcessArgument(name, "NAME") &&
            name == "velcmd") {
            return token.substr(equals + 1);
        }
    }
    throw UsageError{"the command line has no velcmd token"};
}

int Explain(const std::string& path, std::uint32_t mask, const std::vector<std::string>& words) {
    const std::vector<std::string> tokens = Tokens(words);
    const std::string command = CommandOf(tokens);
    const ParsedPolicy parsed = Parse(path);
    const CSingletonAuthExceptionImpl& store = *parsed.file.store;
    const bool authorized = store.IsAuthorized(command, tokens, mask);
    const int effectiveSet = CSingletonAuthExceptionImpl::EffectiveRoleSet(mask);

    std::printf("policy: %s\n", path.c_str());
    if (store.FileOpened() && !parsed.message.empty()) {
        std::printf("warning: %s (entries before the error apply)\n", parsed.message.c_str());
    }
    std::printf("command: %s\n", command.c_str());
    std::printf("mask: %u (%s)\n", static_cast<unsigned>(mask),
                mask == TRUE_ADMIN_MASK ? "true administrator" : RoleSetName(effectiveSet));
    std::printf("decision: %s\n", authorized ? "authorized" : "refused");

    std::string reason;
    if (!store.FileOpened()) {
        reason = "the exclusion file cannot be opened: everyone is refused";
    } else if (mask == TRUE_ADMIN_MASK) {
        reason = "the true administrator is never refused";
    } else if (effectiveSet == 0) {
        reason = "the mask holds none of the role bits 1, 2 and 4";
    } else {
        std::string key = command;
        for (std::size_t i = 0; i <= tokens.size(); ++i) {
            if (i > 0) {
                CSingletonAuthExceptionImpl::TokenKey(command, tokens[i - 1], key);
            }
            const int role = store.LookupRole(key);
            if (CSingletonAuthExceptionImpl::Refuses(role, effectiveSet)) {
                reason = "refused by key " + key + " (role " + std::to_string(role) + ", " +
                         SectionOf(role) + " section)";
                break;
            }
        }
        if (reason.empty()) {
            reason = "no entry refuses the command or its tokens";
        }
    }
    std::printf("reason: %s\n", reason.c_str());
    return authorized ? kExitOk : kExitResult;
}

}  // namespace

int RunPolicy(const std::vector<std::string>& args, const fs::path& stack) {
    if (args.empty()) {
        throw UsageError{"policy needs check or explain"};
    }
    if (args[0] == "check") {
        if (args.size() != 2 || args[1].rfind("--", 0) == 0) {
            throw UsageError{"policy check needs one exclusion file"};
        }
        return Check(args[1]);
    }
    if (args[0] != "explain") {
        throw UsageError{"unknown policy command '" + args[0] + "' (check or explain)"};
    }
    std::optional<std::string> file;
    std::optional<std::uint32_t> mask;
    std::vector<std::string> words;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--file" || arg == "--mask") {
            if (i + 1 >= args.size()) {
                throw UsageError{arg + " needs a value"};
            }
            if (arg == "--file") {
                file = args[++i];
            } else {
                mask = ParseMask(args[++i]);
            }
        } else if (arg.rfind("--", 0) == 0) {
            throw UsageError{"unknown option '" + arg + "' for policy explain"};
        } else {
            words.push_back(arg);
        }
    }
    if (!mask) {
        throw UsageError{"policy explain needs --mask N"};
    }
    if (words.empty()) {
        throw UsageError{"policy explain needs a command line"};
    }
    return Explain(file ? *file : InstalledPolicy(stack), *mask, words);
}

}  // namespace pipeway
