// What the policy commands share: reading a policy as the provider does, the names of roles,
// and the command core for the rights module.
#pragma once

#include "authex/auth_exception.h"
#include "core/lifecycle.h"
#include "core/pipeway_provider_impl.h"
#include "cli/policy.h"
#include "pw/resources.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pipeway {

// The section that assigns a role, and the name of the callers an effective role set stands
// for.
const char* SectionOf(int role);
const char* RoleSetName(int effectiveSet);

// A policy file read with the system's scanner and parser, and what the reading found.
struct ParsedPolicy final : CSingletonAuthExceptionImpl::PolicyListener {
    CSingletonAuthExceptionImpl::PolicyFile file;
    std::optional<CSingletonAuthExceptionImpl::SyntaxError> syntaxError;
    std::vector<CSingletonAuthExceptionImpl::DuplicateKey> duplicates;
    std::vector<CSingletonAuthExceptionImpl::PolicyEntry> entries;  // in file order

    void EntryRead(const CSingletonAuthExceptionImpl::PolicyEntry& entry) override {
        entries.push_back(entry);
    }
    void KeyGivenTwice(const CSingletonAuthExceptionImpl::DuplicateKey& duplicate) override {
        duplicates.push_back(duplicate);
    }
    void SyntaxErrorAt(const CSingletonAuthExceptionImpl::SyntaxError& error) override {
        syntaxError = error;
    }
};
ParsedPolicy ReadPolicy(const std::string& path);
// Whether `path` is a regular file pipeway can open.
bool Readable(const std::string& path);
// The exclusion file of the stack: under the install root that the stack's common-services
// library reports.
std::string InstalledPolicy(const std::filesystem::path& stack);
// A --mask value. Throws UsageError.
std::uint32_t ParseMask(const std::string& text);

// Where a policy that the provider reads only in part breaks, with what that costs.
void PrintBrokenWarning(const std::string& path, const ParsedPolicy& file);
void PrintResult(std::int32_t code, const char* why);

// The command core as the provider library has it between its attach and detach
// notifications, for as long as the object lives: the rights module is loaded through its
// module cache, which is emptied again at the end.
class CoreAttached : private pw::NoCopy {
  public:
    CoreAttached() { pw::core::ProcessAttach(); }
    ~CoreAttached() {
        pw::core::DropSharedState();
        pw::core::ProcessDetach();
    }
};

// The subcommands, each in its own file.
int Check(const std::string& path);
int Install(const std::string& file, const std::filesystem::path& stack);
int Explain(const PolicyOptions& options, std::uint32_t givenMask,
            const std::filesystem::path& stack);
int Test(const PolicyOptions& options, const std::filesystem::path& stack);

}  // namespace pipeway
