#include "cli/policy_commands.h"

#include "cli/common.h"
#include "authex/policy_text.h"
#include "core/pipeway_provider_impl.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace pipeway {

namespace fs = std::filesystem;

namespace {

using Decision = CSingletonAuthExceptionImpl::Decision;

// The rule or the key that settled a decision.
std::string Reason(const Decision& decision) {
    switch (decision.rule) {
        case Decision::Rule::kFileNotOpened:
            return "the exclusion file cannot be opened: everyone is refused";
        case Decision::Rule::kTrueAdministrator:
            return "the true administrator is never refused";
        case Decision::Rule::kNoRole:
            return "the mask holds none of the role bits 1, 2 and 4";
        case Decision::Rule::kCommandKey:
        case Decision::Rule::kTokenKey:
            return "refused by key " + decision.key + " (role " + std::to_string(decision.role) +
                   ", " + SectionOf(decision.role) + " section)";
        case Decision::Rule::kNoEntry:
            break;
    }
    return "no entry refuses the command or its tokens";
}

// The policy decides on the tokens as the client wrote them; a third token
// "$$manglevalue=<digit triplets>" reaches the module decoded, as "value=<bytes>". Warns when a
// parameter entry of the command would refuse that decoded token to this caller.
void PrintMangledWarning(const CSingletonAuthExceptionImpl& store, std::uint32_t mask,
                         const PipewayProviderImpl& request) {
    std::string decoded;
    if (request.Argc() < 3 ||
        pw::core::DecodeMangledEntry(request.Argv()[2], decoded) != pw::core::Mangled::kDecoded) {
        return;
    }
    const Decision asDecoded = store.Decide(request.Command(), {decoded}, mask);
    if (asDecoded.rule != Decision::Rule::kTokenKey) {
        return;
    }
    std::printf(
        "warning: the token %s reaches the module decoded, as %s, which the entry %s (role %d, "
        "%s section) refuses: the policy decides on tokens as written and never sees a "
        "$$manglevalue token decoded\n",
        request.Argv()[2], decoded.c_str(), asDecoded.key.c_str(), asDecoded.role,
        SectionOf(asDecoded.role));
}

// The caller's mask: given, or asked of the stack's rights module for a user. When the rights
// module cannot be used, `problem` says so (the provider then refuses everyone).
std::uint32_t CallerMask(const PolicyOptions& options, std::uint32_t givenMask,
                         const PipewayProviderImpl& request, const fs::path& stack,
                         std::optional<std::string>& problem) {
    if (!options.user) {
        return givenMask;
    }
    CheckStack(stack);  // the rights module is found as the provider finds it
    const std::optional<std::int32_t> asked =
        pw::core::QueryUserRightsMask(*options.user, request.LocalLogin());
    if (!asked) {
        problem = "the rights module rukda64 cannot be used: everyone is refused";
        return 0;
    }
    return static_cast<std::uint32_t>(*asked);
}

// Whether a broken file names the command in an entry at or after its syntax error, which the
// provider does not read.
bool NamedAfterError(const ParsedPolicy& parsed, const PipewayProviderImpl& request) {
    const std::vector<std::string> after = CommandsNamedFrom(
        *parsed.bytes,
        ElementAtError(*parsed.bytes, parsed.syntaxError->line, parsed.syntaxError->column));
    return std::find(after.begin(), after.end(), request.Command()) != after.end();
}

// The decision's reason and what the provider then does; for a file with a syntax error, what
// the decision rests on.
void PrintOutcome(const ParsedPolicy& parsed, const Decision& decision,
                  const PipewayProviderImpl& request,
                  const std::optional<std::string>& rightsProblem, bool authorized) {
    const bool syntaxError = !parsed.file.accepted && parsed.syntaxError;
    std::printf(
        "reason: %s%s\n", rightsProblem ? rightsProblem->c_str() : Reason(decision).c_str(),
        syntaxError && decision.rule == Decision::Rule::kNoEntry ? " before the error" : "");
    if (syntaxError && authorized && NamedAfterError(parsed, request)) {
        std::printf(
            "note: the file names %s after the error, where the provider does not read: "
            "fixed, the file may refuse it\n",
            request.Command().c_str());
    }
    if (authorized) {
        std::printf(
            "result: the provider runs the command; the module's run gives its "
            "ResultCode\n");
    } else {
        PrintResult(PipewayMgtData::kNotAuthorized, "the policy refuses it");
    }
}

}  // namespace

// The provider's path for one command line: its tokens, validation, the caller's mask (given,
// or asked of the stack's rights module for a user), then the policy's decision.
int Explain(const PolicyOptions& options, std::uint32_t givenMask, const fs::path& stack) {
    const std::optional<std::vector<std::string>> tokens = CommandTokens(options.words);
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

    const CoreAttached core;
    std::optional<std::string> rightsProblem;
    const std::uint32_t mask = CallerMask(options, givenMask, request, stack, rightsProblem);

    const pw::stack::AnchoredPath where =
        options.file.empty() ? InstalledPolicyFile(stack) : pw::stack::AtOwnFolder(options.file);
    const std::string path = where.Full();
    const ParsedPolicy parsed = ReadPolicy(where);
    const CSingletonAuthExceptionImpl& store = *parsed.file.store;
    const Decision decision = store.Decide(request.Command(), request.Args(), mask);
    const bool authorized = !rightsProblem && decision.allowed;
    const bool broken = !parsed.file.accepted;

    std::printf("policy: %s\n", path.c_str());
    if (store.FileOpened()) {
        PrintBrokenWarning(path, parsed);
    }
    std::printf("command: %s\n", request.Command().c_str());
    if (options.user) {
        std::printf("user: %s\n", options.user->c_str());
    }
    if (!rightsProblem) {
        std::printf(
            "mask: %u (%s)%s\n", static_cast<unsigned>(mask),
            mask == TRUE_ADMIN_MASK ? "true administrator" : RoleSetName(decision.effectiveSet),
            options.user ? ", from the rights module" : "");
    }
    std::printf("decision: %s\n", authorized ? "authorized" : "refused");
    if (authorized) {
        PrintMangledWarning(store, mask, request);
    }
    PrintOutcome(parsed, decision, request, rightsProblem, authorized);
    return authorized && !broken ? kExitOk : kExitResult;
}

}  // namespace pipeway
