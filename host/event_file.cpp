#include "host/event_file.h"

#include <fstream>

namespace host {

std::vector<LoggedEvent> ReadEvents(const std::filesystem::path& file, std::uintmax_t offset) {
    std::vector<LoggedEvent> events;
    std::ifstream in(file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::string line;
    while (std::getline(in, line)) {
        // Fields are separated by tabs; a backslash escapes a tab (t), a line feed (n) or
        // itself.
        std::vector<std::string> fields(1);
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\t') {
                fields.emplace_back();
            } else if (line[i] == '\\' && i + 1 < line.size()) {
                const char next = line[++i];
                fields.back() += next == 't' ? '\t' : next == 'n' ? '\n' : next;
            } else {
                fields.back() += line[i];
            }
        }
        if (fields.size() < 3 || fields[1].empty() ||
            fields[1].find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        events.push_back(LoggedEvent{
            fields[0], std::stoi(fields[1]), fields[2], {fields.begin() + 3, fields.end()}});
    }
    return events;
}

}  // namespace host
