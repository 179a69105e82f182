#define _CRT_RAND_S  // rand_s, for the staging name
#include "pw/stack_files.h"

#include "stack_files_shared.h"

#include "pw/resources.h"
#include "pw/text.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdlib.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace pw::stack {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::optional<std::wstring> Wide(const std::string& path) {
    std::optional<std::wstring> wide = pw::Widen(path, CP_ACP);
    if (wide && wide->empty()) {
        return std::nullopt;
    }
    return wide;
}

pw::UniqueHandle Open(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                      DWORD flags) {
    const std::optional<std::wstring> wide = Wide(path);
    if (!wide) {
        return {};
    }
    HANDLE handle = CreateFileW(wide->c_str(), access, share, nullptr, disposition, flags, nullptr);
    return pw::UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

bool Information(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
    return GetFileInformationByHandle(handle, &info) != FALSE;
}

// The folders on the way, each held open so that no one can rename or replace it while the
// walk stands on it, and the file's full path.
struct Walked {
    std::vector<pw::UniqueHandle> folders;
    std::string folder;  // the last folder's path
    std::string leaf;
    std::string Full() const { return folder + "\\" + leaf; }
};

DWORD Attributes(const std::string& path) {
    const std::optional<std::wstring> wide = Wide(path);
    return wide ? GetFileAttributesW(wide->c_str()) : INVALID_FILE_ATTRIBUTES;
}

bool PlainFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// A folder opened as itself (a link or junction is not followed), held without delete sharing;
// none when it is not a folder or is a reparse point. The name is asked as well as the handle:
// where opening the reparse point itself is not supported (Wine opens a linked folder's
// target), only the name shows the link.
pw::UniqueHandle HoldFolder(const std::string& path) {
    pw::UniqueHandle folder =
        Open(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!folder || !Information(folder.get(), info) || !PlainFolder(info.dwFileAttributes) ||
        !PlainFolder(Attributes(path))) {
        return {};
    }
    return folder;
}

// From `base` (taken as given) down through each folder of `relative`; with `create`, a
// missing folder is made on the way.
std::optional<Walked> Walk(const AnchoredPath& path, bool create = false) {
    const std::vector<std::string> parts = detail::Components(path.relative, "\\/");
    if (parts.empty()) {
        return std::nullopt;
    }
    Walked walked;
    walked.folder = path.base;
    while (!walked.folder.empty() &&
           (walked.folder.back() == '\\' || walked.folder.back() == '/')) {
        walked.folder.pop_back();
    }
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i] == "." || parts[i] == "..") {
            return std::nullopt;
        }
        walked.folder += "\\" + parts[i];
        if (create) {
            if (const std::optional<std::wstring> wide = Wide(walked.folder)) {
                CreateDirectoryW(wide->c_str(), nullptr);
            }
        }
        pw::UniqueHandle folder = HoldFolder(walked.folder);
        if (!folder) {
            return std::nullopt;
        }
        walked.folders.push_back(std::move(folder));
    }
    walked.leaf = parts.back();
    if (walked.leaf == "." || walked.leaf == "..") {
        return std::nullopt;
    }
    return walked;
}

// Why an open handle is not the regular file with one link that is wanted; empty when it is.
// A pipe, console or other device is not a regular file, nor is a folder or a reparse point.
std::string Unfit(HANDLE handle, ULONGLONG& size) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !Information(handle, info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return "is not a regular file";
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return "is a link";
    }
    if (info.nNumberOfLinks != 1) {
        return "has more than one link";
    }
    size = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return "";
}

std::optional<std::string> RandomSuffix() {
    std::string text;
    for (int i = 0; i < 2; ++i) {
        unsigned int value = 0;
        if (rand_s(&value) != 0) {
            return std::nullopt;
        }
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08x", value);
        text += digits;
    }
    return text;
}

// Staging files of the leaf that an interrupted replacement left (and the fixed name earlier
// versions staged under): names removed, never opened. A link is removed, not followed.
void RemoveLeftovers(const Walked& walked) {
    const std::optional<std::wstring> pattern = Wide(walked.Full() + ".new*");
    if (!pattern) {
        return;
    }
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(pattern->c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::optional<std::wstring> folder = Wide(walked.folder + "\\");
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && folder) {
            DeleteFileW((*folder + found.cFileName).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

bool WriteAll(HANDLE file, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        DWORD written = 0;
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1 << 20));
        if (!WriteFile(file, content.data() + done, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return FlushFileBuffers(file) != FALSE;
}

class FileLock final : public ReplaceLock {
  public:
    explicit FileLock(pw::UniqueHandle file) : m_file(std::move(file)) {}

  private:
    pw::UniqueHandle m_file;  // closing it lets go of the lock
};

}  // namespace

FileContent ReadRegularFile(const AnchoredPath& path, std::size_t limit) {
    FileContent file;
    const std::optional<Walked> walked = Walk(path);
    const pw::UniqueHandle handle = walked ? Open(walked->Full(), GENERIC_READ, kShareAll,
                                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT)
                                           : pw::UniqueHandle();
    if (!handle) {
        file.refusal = "cannot be opened";
        return file;
    }
    ULONGLONG size = 0;
    file.refusal = Unfit(handle.get(), size);
    if (!file.refusal.empty()) {
        return file;
    }
    HANDLE const opened = handle.get();
    return detail::ReadUpTo(limit, size, [opened](char* buffer, std::size_t want) -> long long {
        DWORD got = 0;
        if (!ReadFile(opened, buffer, static_cast<DWORD>(want), &got, nullptr)) {
            return -1;
        }
        return got;
    });
}

Appender AppendToRegularFile(const AnchoredPath& path) {
    // OPEN_EXISTING: a log that is not there stays off. FILE_FLAG_OPEN_REPARSE_POINT opens a
    // link itself, not what it points to, so that it can be refused.
    const std::optional<Walked> walked = Walk(path);
    pw::UniqueHandle handle = walked ? Open(walked->Full(), GENERIC_WRITE, kShareAll, OPEN_EXISTING,
                                            FILE_FLAG_OPEN_REPARSE_POINT)
                                     : pw::UniqueHandle();
    ULONGLONG size = 0;
    if (!handle || !Unfit(handle.get(), size).empty()) {
        return {};
    }
    // A text-mode stream over the handle, as fopen(path, "a") gives.
    const int fd =
        _open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), _O_APPEND | _O_WRONLY | _O_TEXT);
    if (fd == -1) {
        return {};
    }
    handle.release();  // the descriptor owns it now
    std::FILE* file = _fdopen(fd, "at");
    if (file == nullptr) {
        _close(fd);
        return {};
    }
    return {file, size};
}

bool CreateNewFile(const AnchoredPath& path) {
    const std::optional<Walked> walked = Walk(path, true);
    return walked && Open(walked->Full(), GENERIC_WRITE, 0, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
}

bool RemoveFile(const AnchoredPath& path) {
    const std::optional<Walked> walked = Walk(path);
    if (!walked) {
        return false;
    }
    const DWORD attributes = Attributes(walked->Full());
    const std::optional<std::wstring> wide = Wide(walked->Full());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 && wide &&
           DeleteFileW(wide->c_str()) != FALSE;
}

LockResult LockForReplace(const AnchoredPath& path, std::chrono::milliseconds wait) {
    const std::optional<Walked> walked = Walk(path);
    const std::string name = path.Full() + ".lock";
    // Opened for reading only and never written: a file planted there is locked, nothing more.
    pw::UniqueHandle file =
        walked ? Open(walked->Full() + ".lock", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT)
               : pw::UniqueHandle();
    ULONGLONG size = 0;
    if (!file || !Unfit(file.get(), size).empty()) {
        return {nullptr, "the lock file " + name + " cannot be opened as a regular file"};
    }
    const auto until = std::chrono::steady_clock::now() + wait;
    for (;;) {
        OVERLAPPED whole{};
        if (LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                       &whole)) {
            return {std::make_unique<FileLock>(std::move(file)), ""};
        }
        if (GetLastError() != ERROR_LOCK_VIOLATION) {
            return {nullptr, "the lock file " + name + " cannot be locked"};
        }
        if (std::chrono::steady_clock::now() >= until) {
            return {nullptr, "another replacement of " + path.Full() + " is under way"};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

namespace {

// The staged file: whether this call created it (what stands at the name otherwise is someone
// else's, and stays), and the failure, or empty.
struct Staged {
    bool created = false;
    std::string failure;
};

// Creates the staged file (never an existing one, never through a link) and writes `content`
// to disk.
Staged WriteStaged(const std::string& staged, const std::string& content) {
    const pw::UniqueHandle file =
        Open(staged, GENERIC_WRITE, 0, CREATE_NEW,
             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_WRITE_THROUGH);
    if (!file) {
        return {false, "cannot create " + staged};
    }
    return {true, WriteAll(file.get(), content) ? std::string() : "cannot write " + staged};
}

// Puts the staged file in the live one's place. ReplaceFileW keeps the replaced file under the
// backup name by moving it and gives the new one the replaced file's security; without a live
// file there is nothing to carry over.
bool MoveIntoPlace(const std::wstring& staged, const std::wstring& live, const std::wstring& kept,
                   bool hasLive) {
    const bool moved =
        hasLive ? ReplaceFileW(live.c_str(), staged.c_str(), kept.c_str(),
                               REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != FALSE
                : MoveFileExW(staged.c_str(), live.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
    // The replaced file may already stand under the backup name: put it back.
    if (!moved && GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        MoveFileExW(kept.c_str(), live.c_str(), MOVEFILE_WRITE_THROUGH);
    }
    return moved;
}

}  // namespace

ReplaceResult ReplaceKeepingPrevious(const AnchoredPath& path, const std::string& content,
                                     const std::string& previousSuffix) {
    const std::optional<Walked> walked = Walk(path);
    if (!walked) {
        return detail::FolderRefused(path);
    }
    ReplaceResult result;
    const std::string live = walked->Full();
    const std::string kept = live + previousSuffix;
    const DWORD keptAttributes = Attributes(kept);
    if (keptAttributes != INVALID_FILE_ATTRIBUTES &&
        (keptAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        result.failure = "a folder stands at " + path.Full() + previousSuffix;
        return result;
    }
    RemoveLeftovers(*walked);
    const std::optional<std::string> suffix = RandomSuffix();
    if (!suffix) {
        result.failure = "no unpredictable name can be made";
        return result;
    }
    const std::string staged = live + ".new." + *suffix;
    const std::optional<std::wstring> stagedWide = Wide(staged);
    const std::optional<std::wstring> liveWide = Wide(live);
    const std::optional<std::wstring> keptWide = Wide(kept);
    if (!stagedWide || !liveWide || !keptWide) {
        result.failure = "the names of " + path.Full() + " cannot be converted";
        return result;
    }
    const Staged written = WriteStaged(staged, content);
    result.failure = written.failure;
    if (!written.created) {
        return result;
    }
    const DWORD liveAttributes = Attributes(live);
    const bool hasLive = liveAttributes != INVALID_FILE_ATTRIBUTES &&
                         (liveAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (result.failure.empty()) {
        result.replaced = MoveIntoPlace(*stagedWide, *liveWide, *keptWide, hasLive);
        if (!result.replaced) {
            result.failure = "cannot move " + staged + " over " + path.Full();
        }
    }
    if (!result.replaced) {
        DeleteFileW(stagedWide->c_str());
        return result;
    }
    if (hasLive) {
        result.previous = path.Full() + previousSuffix;
    }
    return result;
}

}  // namespace pw::stack
