#include "cli/policy_commands.h"

#include "cli/common.h"
#include "cli/policy_diagnosis.h"

#include <algorithm>
#include <cstdio>

namespace pipeway {

namespace fs = std::filesystem;

int Check(const std::string& path) {
    return Check(path, ReadPolicy(path));
}

int Check(const std::string& path, const ParsedPolicy& parsed) {
    if (!parsed.bytes) {
        std::fprintf(stderr, "pipeway: the exclusion file %s cannot be used: it %s\n", path.c_str(),
                     parsed.refusal.c_str());
        return kExitResult;
    }
    for (const auto& duplicate : parsed.duplicates) {
        std::fprintf(stderr, "%s", DescribeDuplicate(path, duplicate).c_str());
    }
    if (!parsed.file.accepted) {
        const std::size_t kept = parsed.file.store->RoleTable().size();
        if (parsed.syntaxError) {
            std::fprintf(
                stderr, "%s",
                DescribeSyntaxError(path, *parsed.bytes, *parsed.syntaxError, kept).c_str());
        } else {
            std::fprintf(stderr, "%s: the file cannot be read\n", path.c_str());
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

}  // namespace pipeway
