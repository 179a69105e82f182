#include "pipeway_policy.h"

#include "auth_exception.h"
#include "pipeway_provider_impl.h"
#include "policy_diagnosis.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
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
    for (const auto& duplicate : parsed.file.duplicates) {
        std::fprintf(stderr, "%s", DescribeDuplicate(path, duplicate).c_str());
    }
    if (!parsed.file.accepted) {
        const std::size_t kept = parsed.file.store->RoleTable().size();
        if (parsed.file.syntaxError) {
            std::ifstream in(path, std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(in)), {});
            std::fprintf(stderr, "%s",
                         DescribeSyntaxError(path, text, *parsed.file.syntaxError, kept).c_str());
        } else {
            std::fprintf(
                stderr, "%s: %s\n", path.c_str(),
                parsed.message.empty() ? "the file cannot be read" : parsed.message.c_str());
        }
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
    return (CheckStack(stack).installRoot / "svx" / "pipeway" / "bin" / "authexclusion.xml")
        .string();
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

// The tokens of the command line as the provider makes them.
std::vector<std::string> Tokens(const std::vector<std::string>& words) {
    std::optional<std::vector<std::string>> tokens = CommandTokens(words, false);
    if (!tokens) {
        throw UsageError{"the command line cannot be split into name=value tokens"};
    }
    return *tokens;
}

// The command: the value of the velcmd token.
std::string CommandOf(const std::vector<std::string>& tokens) {
    std::optional<std::string> command = TokenValue(tokens, "velcmd");
    if (!command) {
        throw UsageError{"the command line has no velcmd token"};
    }
    return *command;
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

void AddPolicyCommand(CLI::App& pipeway, PolicyOptions& options) {
    CLI::App* policy = pipeway.add_subcommand(
        "policy", "read an exclusion file with the system's scanner and parser");
    CLI::App* check = policy->add_subcommand(
        "check", "print the file's role table (key, role, section); a syntax error exits with 1");
    check->add_option("FILE", options.file, "the exclusion file")->required();
    check->callback([&options] { options.action = PolicyOptions::Action::kCheck; });
    CLI::App* explain = policy->add_subcommand(
        "explain",
        "the exclusion decision for a user-rights mask and a command line, and the key that "
        "refused it; refused exits with 1");
    explain->callback([&options] { options.action = PolicyOptions::Action::kExplain; });
    explain->add_option("--file", options.file,
                        "the exclusion file (default: the stack's installed one)");
    explain->add_option("--mask", options.mask, "the user-rights mask, decimal or 0x hexadecimal")
        ->required();
    explain
        ->add_option("ARG", options.words,
                     "the command line: one string, or one name=value token per argument")
        ->required();
}

int RunPolicy(const PolicyOptions& options, const fs::path& stack) {
    if (options.action == PolicyOptions::Action::kCheck) {
        return Check(options.file);
    }
    const std::uint32_t mask = ParseMask(*options.mask);
    return Explain(options.file.empty() ? InstalledPolicy(stack) : options.file, mask,
                   options.words);
}

}  // namespace pipeway
