#include "cli/policy_commands.h"

#include "cli/common.h"
#include "cli/durable_file.h"
#include "pw/stack_files.h"

#include <cstdio>

namespace pipeway {

namespace fs = std::filesystem;

// Replaces the stack's live exclusion file with `file` once it passes the check: written beside
// the live file, then moved over it in one step, so that the provider never reads a half-
// written policy; the file it replaces is kept as "authexclusion.xml.previous".
int Install(const std::string& file, const fs::path& stack) {
    const std::string live = InstalledPolicy(stack);
    if (Check(file) != kExitOk) {
        std::fprintf(stderr, "pipeway: %s is not installed; %s is unchanged\n", file.c_str(),
                     live.c_str());
        return kExitResult;
    }
    // The bytes installed are read once, as the provider reads them.
    const pw::stack::FileContent read =
        pw::stack::ReadRegularFile(file, pw::stack::kExclusionFileLimit);
    const std::string next = live + ".new";
    const std::string previous = live + ".previous";
    std::error_code error;
    const auto fail = [&](const std::string& why) {
        fs::remove(next, error);
        std::fprintf(stderr, "pipeway: %s; %s is unchanged\n", why.c_str(), live.c_str());
        return kExitResult;
    };
    if (!read.content) {
        return fail(file + " " + read.refusal);
    }
    if (!WriteDurably(next, *read.content)) {
        return fail("cannot write " + next);
    }
    // The current file is kept when it is one the provider would read; copied by hand, since
    // the C++ library of mingw cannot overwrite a file it copies to.
    const pw::stack::FileContent current =
        pw::stack::ReadRegularFile(live, pw::stack::kExclusionFileLimit);
    if (current.content && !WriteDurably(previous, *current.content)) {
        return fail("cannot keep the current file as " + previous);
    }
    if (!MoveOver(next, live)) {
        return fail("cannot move " + next + " over it");
    }
    std::printf("installed: %s\n", live.c_str());
    if (fs::exists(previous, error)) {
        std::printf("previous: %s\n", previous.c_str());
    }
    std::printf(
        "takes effect: at the next provider load. WMI unloads an idle provider after its "
        "cache-control interval; restarting the provider host loads it at once.\n");
    return kExitOk;
}

}  // namespace pipeway
