// What the policy commands share: reading a policy as the provider does, the names of roles,
// and the command core for the rights module.
#pragma once

#include "authex/auth_exception.h"
#include "core/lifecycle.h"
#include "core/pipeway_provider_impl.h"
#include "cli/policy.h"
#include "pw/resources.h"

#include <chrono>
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

// A policy file read once, as the provider reads it (a regular file with one link, opened
// without following a link or blocking, at most 4 MiB), then with the system's scanner and
// parser, and what the reading found. A file that cannot be read leaves a store that refuses
// everyone.
struct ParsedPolicy final : CSingletonAuthExceptionImpl::PolicyListener {
    std::optional<std::string> bytes;  // what was read; nothing when the file was refused
    std::string refusal;               // why it was refused, as a message puts it
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
ParsedPolicy ReadPolicy(const pw::stack::AnchoredPath& path);
// The exclusion file of the stack: under the install root that the stack's common-services
// library reports.
pw::stack::AnchoredPath InstalledPolicyFile(const std::filesystem::path& stack);
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
// The check of a policy already read, as "policy check" prints it; `path` names it.
int Check(const std::string& path, const ParsedPolicy& parsed);
int Install(const std::string& file, const std::filesystem::path& stack,
            std::chrono::milliseconds wait);
int Explain(const PolicyOptions& options, std::uint32_t givenMask,
            const std::filesystem::path& stack);
int Test(const PolicyOptions& options, const std::filesystem::path& stack);

}  // namespace pipeway
