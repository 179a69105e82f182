#include "pw/stack_files.h"

#include "pw/resources.h"
#include "pw/text.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

namespace pw::stack {

namespace {

// A handle of the file at `path`, or none.
pw::UniqueHandle Open(const std::string& path, DWORD access, DWORD flags) {
    const std::optional<std::wstring> wide = pw::Widen(path, CP_ACP);
    if (!wide || wide->empty()) {
        return {};
    }
    HANDLE handle =
        CreateFileW(wide->c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, flags, nullptr);
    return pw::UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// A file on disk that is neither a folder nor, when `refuseLinks`, a reparse point (a
// symbolic link or junction): a pipe, console or other device is not.
bool IsRegular(HANDLE handle, bool refuseLinks, ULONGLONG* size) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        (refuseLinks && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
        return false;
    }
    *size = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return true;
}

}  // namespace

FileContent ReadRegularFile(const std::string& path, std::size_t limit) {
    FileContent file;
    const pw::UniqueHandle handle = Open(path, GENERIC_READ, FILE_ATTRIBUTE_NORMAL);
    if (!handle) {
        file.refusal = "cannot be opened";
        return file;
    }
    ULONGLONG size = 0;
    if (!IsRegular(handle.get(), false, &size)) {
        file.refusal = "is not a regular file";
        return file;
    }
    if (size > limit) {
        file.refusal = "is larger than " + std::to_string(limit) + " bytes";
        return file;
    }
    std::string content;
    content.reserve(static_cast<std::size_t>(size));
    char buffer[16384];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(handle.get(), buffer, sizeof buffer, &got, nullptr)) {
            file.refusal = "cannot be read";
            return file;
        }
        if (got == 0) {
            break;
        }
        // The file may have grown since it was measured.
        if (content.size() + got > limit) {
            file.refusal = "is larger than " + std::to_string(limit) + " bytes";
            return file;
        }
        content.append(buffer, got);
    }
    file.content = std::move(content);
    return file;
}

std::FILE* AppendToRegularFile(const std::string& path) {
    // OPEN_EXISTING: a log that is not there stays off. FILE_FLAG_OPEN_REPARSE_POINT opens a
    // link itself, not what it points to, so that it can be refused.
    pw::UniqueHandle handle = Open(path, GENERIC_WRITE, FILE_FLAG_OPEN_REPARSE_POINT);
    ULONGLONG size = 0;
    if (!handle || !IsRegular(handle.get(), true, &size)) {
        return nullptr;
    }
    // A text-mode stream over the handle, as fopen(path, "a") gives.
    const int fd =
        _open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), _O_APPEND | _O_WRONLY | _O_TEXT);
    if (fd == -1) {
        return nullptr;
    }
    handle.release();  // the descriptor owns it now
    std::FILE* file = _fdopen(fd, "at");
    if (file == nullptr) {
        _close(fd);
    }
    return file;
}

}  // namespace pw::stack
