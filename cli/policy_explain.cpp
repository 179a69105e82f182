#include "policy_commands.h"

#include "common.h"
#include "pipeway_provider_impl.h"

#include <cstdio>
#include <optional>
#include <vector>

namespace pipeway {

namespace fs = std::filesystem;

namespace {

// The reason for a decision: the rule or the key that settled it.
std::string Reason(const CSingletonAuthExceptionImpl& store, std::uint32_t mask,
                   const std::string& command, const pw::TokenList& tokens) {
    const int effectiveSet = CSingletonAuthExceptionImpl::EffectiveRoleSet(mask);
    if (!store.FileOpened()) {
        return "the exclusion file cannot be opened: everyone is refused";
    }
    if (mask == TRUE_ADMIN_MASK) {
        return "the true administrator is never refused";
    }
    if (effectiveSet == 0) {
        return "the mask holds none of the role bits 1, 2 and 4";
    }
    std::string key = command;
    for (std::size_t i = 0; i <= tokens.size(); ++i) {
        if (i > 0) {
            CSingletonAuthExceptionImpl::TokenKey(command, tokens[i - 1], key);
        }
        const int role = store.LookupRole(key);
        if (CSingletonAuthExceptionImpl::Refuses(role, effectiveSet)) {
            return "refused by key " + key + " (role " + std::to_string(role) + ", " +
                   SectionOf(role) + " section)";
        }
    }
    return "no entry refuses the command or its tokens";
}

// The policy decides on the tokens as the client wrote them; a third token
// "$$manglevalue=<digit triplets>" reaches the module decoded, as "value=<bytes>". Warns when a
// parameter entry of the command would refuse that decoded token to this caller.
void PrintMangledWarning(const CSingletonAuthExceptionImpl& store, std::uint32_t mask,
                         const PipewayProviderImpl& request) {
    std::string decoded;
    if (request.Argc() < 3 || DecodeMangledEntry(request.Argv()[2], decoded) != Mangled::kDecoded ||
        mask == TRUE_ADMIN_MASK || !store.FileOpened()) {
        return;
    }
    std::string key;
    CSingletonAuthExceptionImpl::TokenKey(request.Command(), decoded, key);
    const int role = store.LookupRole(key);
    if (!CSingletonAuthExceptionImpl::Refuses(
            role, CSingletonAuthExceptionImpl::EffectiveRoleSet(mask))) {
        return;
    }
    std::printf(
        "warning: the token %s reaches the module decoded, as %s, which the entry %s (role %d, "
        "%s section) refuses: the policy decides on tokens as written and never sees a "
        "$$manglevalue token decoded\n",
        request.Argv()[2], decoded.c_str(), key.c_str(), role, SectionOf(role));
}

}  // namespace

// The provider's path for one command line: its tokens, validation, the caller's mask (given,
// or asked of the stack's rights module for a user), then the policy's decision.
int Explain(const PolicyOptions& options, std::uint32_t givenMask, const fs::path& stack) {
    const std::optional<std::vector<std::string>> tokens = CommandTokens(options.words, false);
    if (!tokens) {
        std::printf("result: the call fails: the command line cannot be cut into tokens\n");
        return kExitResult;
    }
    const PipewayProviderImpl request(PipewayProviderImpl::ValidationOnly{}, *tokens);
    if (request.Status() != PipewayMgtData::kSuccess) {
        PrintResult(request.Status(),
                    "validation refuses the command line before any policy "
                    "decision");
        return kExitResult;
    }

    std::uint32_t mask = 0;
    std::optional<std::string> rightsProblem;
    const CoreAttached core;
    if (options.user) {
        CheckStack(stack);  // the rights module is found as the provider finds it
        const std::optional<std::int32_t> asked =
            QueryUserRightsMask(*options.user, request.LocalLogin());
        if (asked) {
            mask = static_cast<std::uint32_t>(*asked);
        } else {
            rightsProblem = "the rights module rukda64 cannot be used: everyone is refused";
        }
    } else {
        mask = givenMask;
    }

    const std::string path = options.file.empty() ? InstalledPolicy(stack) : options.file;
    const ParsedPolicy parsed = ReadPolicy(path);
    const CSingletonAuthExceptionImpl& store = *parsed.file.store;
    const bool authorized =
        !rightsProblem && store.IsAuthorized(request.Command(), request.Args(), mask);
    const bool broken = !parsed.file.accepted;

    std::printf("policy: %s\n", path.c_str());
    if (store.FileOpened()) {
        PrintBrokenWarning(path, parsed.file);
    }
    std::printf("command: %s\n", request.Command().c_str());
    if (options.user) {
        std::printf("user: %s\n", options.user->c_str());
    }
    const int effectiveSet = CSingletonAuthExceptionImpl::EffectiveRoleSet(mask);
    if (!rightsProblem) {
        std::printf("mask: %u (%s)%s\n", static_cast<unsigned>(mask),
                    mask == TRUE_ADMIN_MASK ? "true administrator" : RoleSetName(effectiveSet),
                    options.user ? ", from the rights module" : "");
    }
    std::printf("decision: %s\n", authorized ? "authorized" : "refused");
    if (authorized) {
        PrintMangledWarning(store, mask, request);
    }
    std::printf("reason: %s\n",
                rightsProblem ? rightsProblem->c_str()
                              : Reason(store, mask, request.Command(), request.Args()).c_str());
    if (authorized) {
        std::printf(
            "result: the provider runs the command; the module's run gives its "
            "ResultCode\n");
    } else {
        PrintResult(PipewayMgtData::kNotAuthorized, "the policy refuses it");
    }
    return authorized && !broken ? kExitOk : kExitResult;
}

}  // namespace pipeway
