// Files written so that a crash leaves either the old content or the new, never a mix
// (durable_file_posix.cpp, durable_file_win.cpp).
#pragma once

#include <string>

namespace pipeway {

// Writes `content` to the file `path` (replacing one there, never following a link) and flushes
// it to the disk. False when it cannot.
bool WriteDurably(const std::string& path, const std::string& content);
// Moves the file `from` over `to` in one step, replacing it, and flushes the move to the disk.
bool MoveOver(const std::string& from, const std::string& to);

}  // namespace pipeway
