// The two files the provider opens at the stack's paths, opened only when they are what they
// should be. Anyone who can create a file at those paths could otherwise make the host block
// for ever (a FIFO, a device), read without end (a link to an endless device), or append its
// trace lines to a file of their choosing (a link at the trace log's path). A file refused
// here is treated as one that is not there.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>

namespace pw::stack {

// The largest exclusion file read: the biggest real policies hold a few hundred entries, a
// few tens of KiB.
inline constexpr std::size_t kExclusionFileLimit = 4u << 20;

struct FileContent {
    // The whole file; nothing when it was not read.
    std::optional<std::string> content;
    // Why it was not read, for a trace line: "cannot be opened", "is not a regular file",
    // "is larger than 4194304 bytes", "cannot be read".
    std::string refusal;
};

// Reads the whole of a regular file (a link to one is fine) of at most `limit` bytes. The file
// is opened without blocking, its type checked on the open handle, then read.
FileContent ReadRegularFile(const std::string& path, std::size_t limit);

// Opens an existing regular file that is not a link for appending text (on Windows, "\n" is
// written as "\r\n", as a text-mode stream writes it). Null when there is none such: nothing
// is created, nothing blocks.
std::FILE* AppendToRegularFile(const std::string& path);

}  // namespace pw::stack
