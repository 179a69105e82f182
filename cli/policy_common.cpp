#include "cli/policy_commands.h"

#include "cli/common.h"
#include "pw/stack_files.h"
#include "pw/stack_layout.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace pipeway {

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

ParsedPolicy ReadPolicy(const std::string& path) {
    return ReadPolicy(pw::stack::AtOwnFolder(path));
}

ParsedPolicy ReadPolicy(const pw::stack::AnchoredPath& path) {
    ParsedPolicy parsed;
    pw::stack::FileContent read = pw::stack::ReadRegularFile(path, pw::stack::kExclusionFileLimit);
    if (!read.content) {
        parsed.refusal =
            read.refusal.rfind("is larger than", 0) == 0 ? "is larger than 4 MiB" : read.refusal;
        // No file at all: a store that refuses everyone, and no parser message for it.
        struct Quiet final : CSingletonAuthExceptionImpl::PolicyListener {
        } quiet;
        parsed.file = CSingletonAuthExceptionImpl::ReadPolicyFile("", &quiet);
        return parsed;
    }
    parsed.bytes = std::move(read.content);
    std::istringstream in(*parsed.bytes);
    parsed.file = CSingletonAuthExceptionImpl::ReadPolicy(in, &parsed);
    return parsed;
}

pw::stack::AnchoredPath InstalledPolicyFile(const fs::path& stack) {
    return {CheckStack(stack).installRoot.string(), pw::stack::kExclusionFile};
}

std::string InstalledPolicy(const fs::path& stack) {
    return InstalledPolicyFile(stack).Full();
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

void PrintBrokenWarning(const std::string& path, const ParsedPolicy& file) {
    if (!file.file.accepted && file.syntaxError) {
        const std::size_t kept = file.file.store->RoleTable().size();
        std::printf(
            "warning: the file is broken: a syntax error at line %d, column %d (pipeway policy "
            "check %s shows it). The decisions below are the provider's with the %zu entr%s "
            "before the error; it ignores the rest of the file\n",
            file.syntaxError->line, file.syntaxError->column, path.c_str(), kept,
            kept == 1 ? "y" : "ies");
    }
}

void PrintResult(std::int32_t code, const char* why) {
    std::printf("ResultCode: %d (%s): %s\n", static_cast<int>(code), ResultText(code), why);
}

}  // namespace pipeway
