// The events' one table against the three places that spell it out again for people: the
// message file windmc compiles (every message, in order, with its severity and symbolic name),
// the README's table of events and INSTALL.txt's list (every ID with its type, no other).
#include "tests/support/test_support.h"

#include "pw/events.h"

#include <regex>
#include <string>
#include <tuple>
#include <vector>

namespace {

using pw::events::EventInfo;
using pw::events::kEvents;
using pw::events::Severity;

std::string Source(const char* relativePath) {
    return pwtest::ReadFile(std::filesystem::path(PW_SOURCE_DIR) / relativePath);
}

std::vector<std::smatch> AllMatches(const std::string& text, const std::regex& expression) {
    return {std::sregex_iterator(text.begin(), text.end(), expression), std::sregex_iterator()};
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
    for (const std::smatch& match : AllMatches(text, row)) {
        listed.emplace_back(std::stoi(match[1].str()), match[2].str());
    }
    return listed;
}

TEST(EventTable, MessageFileHoldsEveryMessageAsTheTableGivesIt) {
    const std::string mc = Source("provider/events.mc");
    const std::regex block(
        "MessageId=(\\d+)\\r?\\nSeverity=(\\w+)\\r?\\nSymbolicName=(\\w+)\\r?\\n"
        "Language=English\\r?\\n([^\\r\\n]*)\\r?\\n\\.\\r?\\n");
    const std::vector<std::smatch> blocks = AllMatches(mc, block);
    ASSERT_EQ(blocks.size(), std::size(kEvents));
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const EventInfo& info = kEvents[i];
        SCOPED_TRACE(std::string(info.symbol));
        EXPECT_EQ(std::stoi(blocks[i][1].str()), static_cast<int>(info.event));
        EXPECT_EQ(blocks[i][2].str(), info.severity == Severity::kError ? "Error" : "Warning");
        EXPECT_EQ(blocks[i][3].str(), info.symbol);
        EXPECT_EQ(blocks[i][4].str(), info.text);
    }
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
