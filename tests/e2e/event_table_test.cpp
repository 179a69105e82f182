// The events' one table (events/events.table, from which the code's table and the message file
// are made) against the two places that list the events again for people: the README's table
// and INSTALL.txt's list, every ID with its type and no other.
#include "tests/support/test_support.h"

#include "pw/events.h"

#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace {

using pw::events::EventInfo;
using pw::events::kEvents;
using pw::events::Severity;

std::string Source(const char* relativePath) {
    return pwtest::ReadFile(std::filesystem::path(PW_SOURCE_DIR) / relativePath);
}

// (ID, type) of every event, as the documents name the type.
using Listed = std::vector<std::pair<int, std::string>>;

Listed FromTable() {
    Listed listed;
    for (const EventInfo& info : kEvents) {
        listed.emplace_back(static_cast<int>(info.event),
                            info.severity == Severity::kError ? "error" : "warning");
    }
    return listed;
}

Listed FromDocument(const std::string& text, const std::regex& row) {
    Listed listed;
    for (std::sregex_iterator match(text.begin(), text.end(), row), end; match != end; ++match) {
        listed.emplace_back(std::stoi((*match)[1].str()), (*match)[2].str());
    }
    return listed;
}

TEST(EventTable, ReadmeAndInstallNotesListEveryEventWithItsType) {
    EXPECT_EQ(FromDocument(Source("README.md"), std::regex("\\n\\| (\\d{4}) \\| (\\w+) \\|")),
              FromTable());
    EXPECT_EQ(FromDocument(Source("provider/INSTALL.txt"),
                           std::regex("\\n {4}(\\d{4}) (error|warning) ")),
              FromTable());
}

// The full message ID carries the severity in its top two bits, as windmc writes it.
TEST(EventTable, MessageIdCarriesTheSeverity) {
    for (const EventInfo& info : kEvents) {
        EXPECT_EQ(pw::events::MessageId(info.event) >> 30,
                  info.severity == Severity::kError ? 3u : 2u)
            << static_cast<int>(info.event);
        EXPECT_EQ(pw::events::MessageId(info.event) & 0xFFFFu, static_cast<unsigned>(info.event));
    }
}

}  // namespace
