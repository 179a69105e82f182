// The events the POSIX platform writes, one line each, to the file "PIPEWAY_EVENTLOG" names.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace host {

struct LoggedEvent {
    std::string source;
    int id = 0;
    std::string type;  // "error", "warning"
    std::vector<std::string> strings;
};

// The events of the file from byte `offset` on, each field's escapes undone; a line that is
// no event is passed over.
std::vector<LoggedEvent> ReadEvents(const std::filesystem::path& file, std::uintmax_t offset = 0);

}  // namespace host
