#include "cli/policy_commands.h"

#include "cli/common.h"
#include "pw/stack_files.h"

#include <cstdio>
#include <cstdlib>

namespace pipeway {

namespace fs = std::filesystem;

namespace {

// Test seam: with "PIPEWAY_TEST_SWAP_AFTER_READ" naming a file, that file is moved over FILE
// once FILE has been read, so that a test can show that what is installed is what was read
// and checked, whatever FILE holds afterwards.
void SwapAfterReadForTest(const std::string& file) {
    if (const char* swap = std::getenv("PIPEWAY_TEST_SWAP_AFTER_READ")) {
        std::error_code error;
        fs::rename(swap, file, error);
    }
}

// What is said of the live file after a failure: "unchanged" only when it still holds the
// bytes it held when the install began.
std::string LiveAfterFailure(const pw::stack::AnchoredPath& live, const ParsedPolicy& before) {
    const pw::stack::FileContent now =
        pw::stack::ReadRegularFile(live, pw::stack::kExclusionFileLimit);
    if (now.content == before.bytes) {
        return live.Full() + " is unchanged";
    }
    return live.Full() + " may have changed: pipeway policy check " + live.Full();
}

}  // namespace

// Replaces the stack's live exclusion file with `file` once it passes the check. FILE is read
// once; the bytes checked are the bytes installed. One install at a time holds the stack's
// lock; the new file is staged under a name no one could have made beforehand and moved over
// the live file in one step, so that the provider never reads a half-written policy, and the
// file it replaces is moved to "authexclusion.xml.previous".
int Install(const std::string& file, const fs::path& stack, std::chrono::milliseconds wait) {
    const pw::stack::AnchoredPath live = InstalledPolicyFile(stack);
    const ParsedPolicy next = ReadPolicy(file);
    SwapAfterReadForTest(file);
    if (Check(file, next) != kExitOk) {
        std::fprintf(stderr, "pipeway: %s is not installed\n", file.c_str());
        return kExitResult;
    }
    const pw::stack::LockResult lock = pw::stack::LockForReplace(live, wait);
    if (!lock.lock) {
        std::fprintf(stderr, "pipeway: %s is not installed: %s\n", file.c_str(),
                     lock.failure.c_str());
        return kExitResult;
    }
    const ParsedPolicy current = ReadPolicy(live);
    if (current.bytes == next.bytes) {
        std::printf("unchanged: %s already holds %s\n", live.Full().c_str(), file.c_str());
        return kExitOk;
    }
    const pw::stack::ReplaceResult replaced =
        pw::stack::ReplaceKeepingPrevious(live, *next.bytes, ".previous");
    if (!replaced.replaced) {
        std::fprintf(stderr, "pipeway: %s is not installed: %s; %s\n", file.c_str(),
                     replaced.failure.c_str(), LiveAfterFailure(live, current).c_str());
        return kExitResult;
    }
    std::printf("installed: %s\n", live.Full().c_str());
    if (!replaced.previous.empty()) {
        std::printf("previous: %s\n", replaced.previous.c_str());
    } else if (!replaced.failure.empty()) {
        std::fprintf(stderr, "pipeway: warning: %s\n", replaced.failure.c_str());
    }
    std::printf(
        "takes effect: at the next provider load. WMI unloads an idle provider after its "
        "cache-control interval; restarting the provider host loads it at once.\n");
    return kExitOk;
}

}  // namespace pipeway
