#include "pw/stack_files.h"

#include "stack_files_shared.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <thread>
#include <vector>

namespace pw::stack {

namespace {

// A descriptor closed on every way out unless handed on.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    Descriptor(Descriptor&& other) noexcept : m_fd(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~Descriptor() { reset(); }
    int get() const { return m_fd; }
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }

  private:
    int m_fd;
};

// The folder that holds the file and the file's own name in it.
struct Walked {
    Descriptor folder;
    std::string leaf;
};

// From `base` (followed as given) down through each folder of `relative`, none of them a link;
// with `create`, a missing folder is made on the way. Nothing for a path that leaves its base
// ("." or ".." components) or names no file.
std::optional<Walked> Walk(const AnchoredPath& path, bool create = false) {
    std::vector<std::string> parts = detail::Components(path.relative, "/");
    if (parts.empty()) {
        return std::nullopt;
    }
    Walked walked;
    walked.folder.reset(
        ::open(path.base.empty() ? "/" : path.base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (walked.folder.get() < 0 || parts[i] == "." || parts[i] == "..") {
            return std::nullopt;
        }
        if (i + 1 == parts.size()) {
            walked.leaf = parts[i];
            return walked;
        }
        if (create) {
            ::mkdirat(walked.folder.get(), parts[i].c_str(), 0755);
        }
        walked.folder.reset(::openat(walked.folder.get(), parts[i].c_str(),
                                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    return std::nullopt;
}

// Why an open descriptor is not the regular file with one link that is wanted; empty when it is.
std::string Unfit(int fd, struct stat& status) {
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        return "is not a regular file";
    }
    return status.st_nlink == 1 ? "" : "has more than one link";
}

// The leaf opened without following a link and without blocking.
Descriptor OpenLeaf(const Walked& walked, int flags, std::string& refusal) {
    Descriptor fd(::openat(walked.folder.get(), walked.leaf.c_str(),
                           flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        refusal = errno == ELOOP ? "is a link" : "cannot be opened";
    }
    return fd;
}

bool WriteAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t written = ::write(fd, content.data() + done, content.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// A name no one can have guessed in advance.
std::optional<std::string> RandomSuffix() {
    unsigned char bytes[8];
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        return std::nullopt;
    }
    std::string text;
    for (const unsigned char byte : bytes) {
        static const char kDigits[] = "0123456789abcdef";
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

// Staging files of `leaf` that an interrupted replacement left (and the fixed name earlier
// versions staged under): names removed, never opened.
void RemoveLeftovers(int folder, const std::string& leaf) {
    const std::string stem = leaf + ".new";
    Descriptor listing(::dup(folder));
    DIR* dir = listing.get() < 0 ? nullptr : ::fdopendir(listing.get());
    if (dir == nullptr) {
        return;
    }
    listing.release();  // the stream owns it now
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == stem || name.rfind(stem + ".", 0) == 0) {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    for (const std::string& name : names) {
        ::unlinkat(folder, name.c_str(), 0);  // a folder of that name stays: it fails here
    }
}

// A staged copy of `content` beside the leaf, flushed; its name in `name`.
Descriptor Stage(const Walked& walked, const std::string& content, std::string& name,
                 std::string& failure) {
    const std::optional<std::string> suffix = RandomSuffix();
    if (!suffix) {
        failure = "no unpredictable name can be made";
        return Descriptor();
    }
    name = walked.leaf + ".new." + *suffix;
    Descriptor staged(::openat(walked.folder.get(), name.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (staged.get() < 0) {
        failure = "cannot create " + name;
        return staged;
    }
    if (!WriteAll(staged.get(), content) || ::fsync(staged.get()) != 0) {
        failure = "cannot write " + name;
        ::unlinkat(walked.folder.get(), name.c_str(), 0);
        staged.reset();
    }
    return staged;
}

enum class Swapped { kNo, kReplaced, kReplacedAndKept };

// Moves the live file to the kept name and the staged one to the live name. Where the file
// system can, in one exchange first: the live name never stands empty.
Swapped Swap(int folder, const std::string& staged, const std::string& leaf,
             const std::string& kept) {
    if (::renameat2(folder, staged.c_str(), folder, leaf.c_str(), RENAME_EXCHANGE) == 0) {
        // The staged name holds the old file now.
        if (::renameat(folder, staged.c_str(), folder, kept.c_str()) == 0) {
            return Swapped::kReplacedAndKept;
        }
        ::unlinkat(folder, staged.c_str(), 0);
        return Swapped::kReplaced;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return Swapped::kNo;
    }
    // Without the exchange the old file is linked to the kept name first (it has two names for
    // a moment, never none), then the new one moved over it.
    const std::string link = staged + ".previous";
    if (::linkat(folder, leaf.c_str(), folder, link.c_str(), 0) != 0) {
        return Swapped::kNo;
    }
    if (::renameat(folder, link.c_str(), folder, kept.c_str()) != 0) {
        ::unlinkat(folder, link.c_str(), 0);
        return Swapped::kNo;
    }
    return ::renameat(folder, staged.c_str(), folder, leaf.c_str()) == 0 ? Swapped::kReplacedAndKept
                                                                         : Swapped::kNo;
}

class FolderLock final : public ReplaceLock {
  public:
    explicit FolderLock(Descriptor folder) : m_folder(std::move(folder)) {}

  private:
    Descriptor m_folder;  // closing it lets go of the lock
};

}  // namespace

FileContent ReadRegularFile(const AnchoredPath& path, std::size_t limit) {
    FileContent file;
    const std::optional<Walked> walked = Walk(path);
    if (!walked) {
        file.refusal = "cannot be opened";
        return file;
    }
    // Non-blocking: opening a FIFO for reading would otherwise wait for a writer.
    const Descriptor fd = OpenLeaf(*walked, O_RDONLY, file.refusal);
    if (fd.get() < 0) {
        return file;
    }
    struct stat status {};
    file.refusal = Unfit(fd.get(), status);
    if (!file.refusal.empty()) {
        return file;
    }
    const int descriptor = fd.get();
    return detail::ReadUpTo(limit, static_cast<unsigned long long>(status.st_size),
                            [descriptor](char* buffer, std::size_t want) -> long long {
                                for (;;) {
                                    const ssize_t got = ::read(descriptor, buffer, want);
                                    if (got >= 0 || errno != EINTR) {
                                        return got;
                                    }
                                }
                            });
}

Appender AppendToRegularFile(const AnchoredPath& path) {
    const std::optional<Walked> walked = Walk(path);
    if (!walked) {
        return {};
    }
    // No O_CREAT: a log that is not there stays off.
    std::string refusal;
    Descriptor fd = OpenLeaf(*walked, O_WRONLY | O_APPEND, refusal);
    struct stat status {};
    if (fd.get() < 0 || !Unfit(fd.get(), status).empty()) {
        return {};
    }
    std::FILE* file = ::fdopen(fd.get(), "a");
    if (file == nullptr) {
        return {};
    }
    fd.release();
    return {file, static_cast<std::uint64_t>(status.st_size)};
}

bool CreateNewFile(const AnchoredPath& path) {
    const std::optional<Walked> walked = Walk(path, true);
    if (!walked) {
        return false;
    }
    const Descriptor fd(::openat(walked->folder.get(), walked->leaf.c_str(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    return fd.get() >= 0;
}

bool RemoveFile(const AnchoredPath& path) {
    const std::optional<Walked> walked = Walk(path);
    struct stat status {};
    return walked &&
           ::fstatat(walked->folder.get(), walked->leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) ==
               0 &&
           S_ISREG(status.st_mode) &&
           ::unlinkat(walked->folder.get(), walked->leaf.c_str(), 0) == 0;
}

LockResult LockForReplace(const AnchoredPath& path, std::chrono::milliseconds wait) {
    std::optional<Walked> walked = Walk(path);
    if (!walked) {
        return {nullptr, "the folder of " + path.Full() + " cannot be opened"};
    }
    // The folder itself is the lock: no file that someone else could plant or hold.
    const auto until = std::chrono::steady_clock::now() + wait;
    while (::flock(walked->folder.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return {nullptr, "the folder of " + path.Full() + " cannot be locked"};
        }
        if (std::chrono::steady_clock::now() >= until) {
            return {nullptr, "another replacement of " + path.Full() + " is under way"};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {std::make_unique<FolderLock>(std::move(walked->folder)), ""};
}

ReplaceResult ReplaceKeepingPrevious(const AnchoredPath& path, const std::string& content,
                                     const std::string& previousSuffix) {
    const std::optional<Walked> walked = Walk(path);
    if (!walked) {
        return detail::FolderRefused(path);
    }
    ReplaceResult result;
    const int folder = walked->folder.get();
    const std::string kept = walked->leaf + previousSuffix;
    struct stat status {};
    if (::fstatat(folder, kept.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISDIR(status.st_mode)) {
        result.failure = "a folder stands at " + path.Full() + previousSuffix;
        return result;
    }
    RemoveLeftovers(folder, walked->leaf);
    std::string staged;
    const Descriptor fd = Stage(*walked, content, staged, result.failure);
    if (fd.get() < 0) {
        return result;
    }
    // The new file takes the place of the old one with the old one's owner and mode.
    const bool hasLive =
        ::fstatat(folder, walked->leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(status.st_mode);
    if (hasLive) {
        if (::fchown(fd.get(), status.st_uid, status.st_gid) != 0 && errno != EPERM) {
            result.failure = "cannot give " + staged + " the owner of " + path.Full();
        }
        ::fchmod(fd.get(), status.st_mode & 07777);
    } else {
        ::fchmod(fd.get(), 0644);
    }
    Swapped swapped = Swapped::kNo;
    if (result.failure.empty()) {
        swapped = hasLive ? Swap(folder, staged, walked->leaf, kept)
                  : ::renameat(folder, staged.c_str(), folder, walked->leaf.c_str()) == 0
                      ? Swapped::kReplaced
                      : Swapped::kNo;
    }
    if (swapped == Swapped::kNo) {
        if (result.failure.empty()) {
            result.failure = "cannot move " + staged + " over " + path.Full();
        }
        ::unlinkat(folder, staged.c_str(), 0);
        return result;
    }
    ::fsync(folder);  // the moves survive a crash
    result.replaced = true;
    if (swapped == Swapped::kReplacedAndKept) {
        result.previous = path.Full() + previousSuffix;
    } else if (hasLive) {
        result.failure = "the replaced file cannot be kept as " + path.Full() + previousSuffix;
    }
    return result;
}

}  // namespace pw::stack
