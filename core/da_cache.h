// The DA module cache: each module a request names is loaded once, by full path from the
// stack's library folder, and kept until the shared state it belongs to is dropped; and the
// routine that runs a command through a loaded module.
#pragma once

#include "core/da_contract.h"
#include "pw/resources.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>

// One loaded DA module. It holds the cache's reference to its library.
struct DAInfo {
    std::string name;  // as it was asked for, byte for byte
    pw::UniqueLibrary module;
    DASendCmdFn sendCmd = nullptr;
    DAFreeDataFn freeData = nullptr;
};

namespace pw::core {

// The modules loaded for one generation of shared state. Entries are handed out by pointer and
// used after the cache's lock is released while other threads append: a list never moves its
// elements. Unlike a deque, an empty list allocates nothing, so loading a library cannot fail
// for want of memory here.
struct DACache {
    std::list<DAInfo> entries;
};

// The cache of the process's default state (tools and tests).
DACache& DefaultDACache() noexcept;
// Unloads every module of `cache` and empties it.
void ReleaseModules(DACache& cache) noexcept;
// The caches' lock exists between these two, the library's attach and detach notifications.
void AttachModuleCache();
void DetachModuleCache();

// Runs one argument array through a DA module and puts its answer into `answer` (empty when
// the module gave none). A third entry "$$manglevalue=<digit triplets>" is decoded in place
// into "value=<bytes>" first, so that entry must be writable.
void RunDACmd(const DAInfo& info, std::int32_t argc, char** argv, std::string& answer);

// What the third argument "$$manglevalue=<digit triplets>" becomes before a module sees it
// (RunDACmd): kDecoded puts "value=<bytes>" into `decoded`, up to a decoded zero byte;
// kInvalid is one whose encoded part is too long or not a multiple of 3, passed unchanged.
enum class Mangled { kNot, kInvalid, kDecoded };
Mangled DecodeMangledEntry(std::string_view entry, std::string& decoded);

}  // namespace pw::core
