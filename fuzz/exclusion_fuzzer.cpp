// The exclusion file: arbitrary bytes written to a real file, read by the scanner and parser
// into a store of its own, then decisions for every role against what the store holds.
#include "fuzz/support/fuzz_support.h"

#include "authex/auth_exception.h"

#include <array>

namespace {

constexpr std::array<int, 3> kRoles = {ROLE_USER, ROLE_POWERUSER, ROLE_ADMIN};
// Decisions are checked for at most this many keys of one file.
constexpr std::size_t kKeysChecked = 64;

pwfuzz::ScratchRoot* g_root = nullptr;

bool Allowed(const CSingletonAuthExceptionImpl& store, const std::string& command,
             const pw::TokenList& tokens, std::uint32_t mask) {
    return store.IsAuthorized(command, tokens, mask);
}

void CheckDecisions(const CSingletonAuthExceptionImpl& store) {
    const std::vector<std::string> none;
    std::size_t checked = 0;
    for (const auto& [key, role] : store.RoleTable()) {
        if (++checked > kKeysChecked) {
            break;
        }
        // Every entry belongs to one section.
        PW_FUZZ_CHECK(role == ROLE_USER || role == ROLE_POWERUSER || role == ROLE_ADMIN);
        // The key as a command: refused to its own role, and to every lower one
        // (a refusal for administrators holds for power users and users too).
        PW_FUZZ_CHECK(!Allowed(store, key, none, static_cast<std::uint32_t>(role)));
        bool refusedAbove = false;
        for (auto it = kRoles.rbegin(); it != kRoles.rend(); ++it) {
            const bool refused = !Allowed(store, key, none, static_cast<std::uint32_t>(*it));
            PW_FUZZ_CHECK(refused || !refusedAbove);
            refusedAbove = refused;
        }
        // The true administrator is never refused; a mask without a role bit always is.
        PW_FUZZ_CHECK(Allowed(store, key, {key, "__01" + key}, 0x40007));
        PW_FUZZ_CHECK(!Allowed(store, key, none, 0));
        PW_FUZZ_CHECK(!Allowed(store, key, none, 0x80000000u));
        // As an argument token of an empty command, behind a "__" marker.
        PW_FUZZ_CHECK(!Allowed(store, "", {"__xy" + key}, static_cast<std::uint32_t>(role)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    pwfuzz::AttachCore();
    pwfuzz::TraceToNull();
    pwfuzz::SilenceStandardOutput();
    g_root = new pwfuzz::ScratchRoot;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string content(reinterpret_cast<const char*>(data), size);
    g_root->WriteExclusionFile(content);
    const std::string path = g_root->ExclusionFile().string();

    const CSingletonAuthExceptionImpl::PolicyFile policy =
        CSingletonAuthExceptionImpl::ReadPolicyFile(path);
    PW_FUZZ_CHECK(policy.store != nullptr && policy.store->FileOpened());
    CheckDecisions(*policy.store);

    // The same file reads the same way again.
    const CSingletonAuthExceptionImpl::PolicyFile again =
        CSingletonAuthExceptionImpl::ReadPolicyFile(path);
    PW_FUZZ_CHECK(again.accepted == policy.accepted);
    PW_FUZZ_CHECK(again.store->RoleTable() == policy.store->RoleTable());
    return 0;
}
