#pragma once
// What the two platforms' file primitives share: how a path below its base is cut into names,
// and the bounded read of a file already opened and found fit.

#include "pw/stack_files.h"

#include <algorithm>
#include <string>
#include <vector>

namespace pw::stack::detail {

// The names of `relative`, split at any of `separators`; empty names are skipped.
std::vector<std::string> Components(const std::string& relative, const char* separators);

std::string TooLarge(std::size_t limit);

// The failure of a replacement whose folder cannot be walked to without passing a link.
ReplaceResult FolderRefused(const AnchoredPath& path);

// The bytes of an open file of `size` bytes (as measured), at most `limit`: a file that has
// grown since it was measured is refused like one that was too large from the start.
// `read(buffer, want)` returns the count read, 0 at the end, or a negative count on failure.
template <class Read>
FileContent ReadUpTo(std::size_t limit, unsigned long long size, Read read) {
    FileContent file;
    if (size > limit) {
        file.refusal = TooLarge(limit);
        return file;
    }
    std::string content;
    content.reserve(static_cast<std::size_t>(size));
    char buffer[16384];
    for (;;) {
        // One byte more than the limit at most.
        const std::size_t want = std::min(sizeof buffer, limit + 1 - content.size());
        const long long got = read(buffer, want);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            file.refusal = "cannot be read";
            return file;
        }
        content.append(buffer, static_cast<std::size_t>(got));
        if (content.size() > limit) {
            file.refusal = TooLarge(limit);
            return file;
        }
    }
    file.content = std::move(content);
    return file;
}

}  // namespace pw::stack::detail
