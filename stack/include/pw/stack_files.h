// Every file at a stack path is opened here, and only when it is what it should be. The
// provider runs as LocalSystem and the tool that installs a policy with an administrator's
// rights: whoever can create files in a folder they write in could otherwise make them block
// for ever (a FIFO, a device), read without end (a link to an endless device), or write where
// that person chooses (a link at the file's path or at a folder on the way, a hard link, a file
// planted at a name they are about to create).
//
// So each primitive walks from a folder trusted as given down to the file without following a
// link (Linux: each folder opened with O_NOFOLLOW | O_DIRECTORY relative to the one above;
// Windows: each folder opened as itself, refused when it is a reparse point, and held without
// delete sharing so that it cannot be renamed while the walk stands on it), never blocks,
// accepts only a regular file with exactly one link, and creates only exclusively. A file
// refused here is treated as one that is not there.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace pw::stack {

// The largest exclusion file read: the biggest real policies hold a few hundred entries, a
// few tens of KiB.
inline constexpr std::size_t kExclusionFileLimit = 4u << 20;

// A file reached from a folder trusted as given: the stack's install root as the
// common-services library reports it, or, for a file an administrator names, its own folder.
// Everything below `base` is checked.
struct AnchoredPath {
    std::string base;
    std::string relative;  // below `base`: separators between components, one before the first

    std::string Full() const { return base + relative; }
};
// `path` anchored at its own folder: only the file itself is checked.
AnchoredPath AtOwnFolder(const std::string& path);

struct FileContent {
    // The whole file; nothing when it was not read.
    std::optional<std::string> content;
    // Why it was not read, for a message: "cannot be opened", "is not a regular file",
    // "has more than one link", "is larger than 4194304 bytes", "cannot be read".
    std::string refusal;
};

// Reads the whole of a regular file of at most `limit` bytes: opened without blocking, its type
// and link count checked on the open handle, then at most `limit` + 1 bytes read. A file found
// larger is refused at once, without reading it.
FileContent ReadRegularFile(const AnchoredPath& path, std::size_t limit);

// An existing regular file opened for appending text (on Windows, "\n" is written as "\r\n", as
// a text-mode stream writes it), with its size when opened. Null `file` when there is none
// such: nothing is created, nothing blocks.
struct Appender {
    std::FILE* file = nullptr;
    std::uint64_t size = 0;
};
Appender AppendToRegularFile(const AnchoredPath& path);

// Creates an empty file that did not exist (never one that someone else made, never through a
// link). False when anything is at the path already or it cannot be created.
bool CreateNewFile(const AnchoredPath& path);
// Removes the file `path` names when it is a regular file (a link is not followed, a folder is
// left alone).
bool RemoveFile(const AnchoredPath& path);

// The one replacement of a file at a time in a folder: held by whoever replaces a file there
// (lock_file_posix: the folder itself, flock; Windows: LockFileEx on a ".lock" file beside the
// replaced one). Released when destroyed.
class ReplaceLock {
  public:
    virtual ~ReplaceLock() = default;
};
struct LockResult {
    std::unique_ptr<ReplaceLock> lock;  // null when not taken
    std::string failure;                // why, when not taken
};
// Takes the lock of `path`'s folder, waiting up to `wait` for a holder to let go.
LockResult LockForReplace(const AnchoredPath& path, std::chrono::milliseconds wait);

struct ReplaceResult {
    bool replaced = false;
    // Where the replaced file was kept, when there was one; empty otherwise.
    std::string previous;
    std::string failure;  // why not replaced, or why the replaced file could not be kept
};
// Replaces the file at `path` with `content` in one step, and keeps the replaced file itself as
// `path` + `previousSuffix`. The new file is staged under an unpredictable name beside it,
// created exclusively, written and flushed, and given the replaced file's owner, group and mode
// (Windows: its security, which ReplaceFileW carries); the replaced file is moved, never copied,
// so nothing planted at the kept name is written through. Staging files that an interrupted
// replacement left are removed first. At every point the file at `path` is whole, old or new.
// Hold the folder's ReplaceLock around it.
ReplaceResult ReplaceKeepingPrevious(const AnchoredPath& path, const std::string& content,
                                     const std::string& previousSuffix);

}  // namespace pw::stack
