#include "cli/policy_commands.h"

#include "cli/common.h"
#include "core/pipeway_provider_impl.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <vector>

namespace pipeway {

namespace fs = std::filesystem;

namespace {

// One column of a decision table: a user and the mask the decisions are made for; a user
// without a mask of its own is asked of the stack's rights module, per local login.
struct TableUser {
    std::string name;
    std::optional<std::uint32_t> mask;
};

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

std::string Trimmed(std::string text) {
    pw::core::TrimWhitespace(text);
    return text;
}

std::vector<TableUser> TableUsers(const std::optional<std::string>& list) {
    if (!list) {
        return {{"user", 1u},
                {"poweruser", 2u},
                {"administrator", 4u},
                {"trueadministrator", TRUE_ADMIN_MASK}};
    }
    std::vector<TableUser> users;
    for (const std::string& item : Split(*list, ',')) {
        const std::size_t equals = item.rfind('=');
        if (equals == std::string::npos) {
            users.push_back({Trimmed(item), std::nullopt});
        } else {
            users.push_back(
                {Trimmed(item.substr(0, equals)), ParseMask(Trimmed(item.substr(equals + 1)))});
        }
        if (users.back().name.empty()) {
            throw UsageError{"--users needs NAME or NAME=MASK items, comma-separated"};
        }
    }
    return users;
}

// The command lines of a table: one per line of `file`, or one for each entry of the policy.
std::vector<std::string> TableCommands(const std::optional<std::string>& file,
                                       const ParsedPolicy& policy) {
    std::vector<std::string> lines;
    if (file) {
        std::ifstream in(*file, std::ios::binary);
        if (!in) {
            throw UsageError{"the command file " + *file + " cannot be read"};
        }
        for (std::string line; std::getline(in, line);) {
            line = Trimmed(line);
            if (!line.empty() && line[0] != '#') {
                lines.push_back(line);
            }
        }
        return lines;
    }
    for (const CSingletonAuthExceptionImpl::PolicyEntry& entry : policy.entries) {
        std::string line = "daname=lumda64 velcmd=" + entry.command;
        if (!entry.parameter.empty()) {
            line += " " + entry.parameter;
        }
        if (std::find(lines.begin(), lines.end(), line) == lines.end()) {
            lines.push_back(line);
        }
    }
    return lines;
}

// A table whose rows and columns are named: command line, then user.
using DecisionTable = std::map<std::string, std::map<std::string, std::string>>;

// The masks the stack's rights module gave, by user and local-login token: asked once each.
using RightsAnswers = std::map<std::pair<std::string, std::string>, std::optional<std::int32_t>>;

// A user's mask: its own, or the one the stack's rights module gives for this local-login token,
// asked once per user and token. Nothing when the rights module cannot be used.
std::optional<std::uint32_t> MaskOf(const TableUser& user, const std::string& localLogin,
                                    RightsAnswers& asked) {
    if (user.mask) {
        return user.mask;
    }
    const auto key = std::make_pair(user.name, localLogin);
    const auto found = asked.find(key);
    const std::optional<std::int32_t> answer =
        found != asked.end() ? found->second
                             : asked[key] = pw::core::QueryUserRightsMask(user.name, localLogin);
    return answer ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(*answer))
                  : std::nullopt;
}

// The decisions for one command line, a cell per user, as the provider reaches them: the line
// is cut and validated once, then decided for each user's mask.
std::vector<std::string> DecideRow(const CSingletonAuthExceptionImpl& store,
                                   const std::string& commandLine,
                                   const std::vector<TableUser>& users, RightsAnswers& asked) {
    const std::optional<std::vector<std::string>> tokens = CommandTokens({commandLine});
    if (!tokens) {
        return std::vector<std::string>(users.size(), "fails");
    }
    const PipewayProviderImpl request(PipewayProviderImpl::ValidationOnly{}, *tokens);
    if (request.Status() != PipewayMgtData::kSuccess) {
        return std::vector<std::string>(users.size(),
                                        "invalid(" + std::to_string(request.Status()) + ")");
    }
    std::vector<std::string> cells;
    for (const TableUser& user : users) {
        const std::optional<std::uint32_t> mask = MaskOf(user, request.LocalLogin(), asked);
        // Without a rights module the provider refuses everyone.
        cells.push_back(mask && store.Decide(request.Command(), request.Args(), *mask).allowed
                            ? "allowed"
                            : "refused");
    }
    return cells;
}

std::string Row(const std::vector<std::string>& cells, const std::vector<std::size_t>& widths) {
    std::string row = "|";
    for (std::size_t i = 0; i < cells.size(); ++i) {
        row += " " + cells[i] + std::string(widths[i] - cells[i].size(), ' ') + " |";
    }
    return row + "\n";
}

// The rows of a table as pipeway prints it: "| command line | user | ... |", a rule, then one
// row per command line. Rows that are rules or not rows are passed over.
DecisionTable ReadTable(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw UsageError{"the expectation table " + file + " cannot be read"};
    }
    DecisionTable table;
    std::vector<std::string> users;
    for (std::string line; std::getline(in, line);) {
        line = Trimmed(line);
        if (line.size() < 2 || line.front() != '|' ||
            line.find_first_not_of("|-: ") == std::string::npos) {
            continue;
        }
        std::vector<std::string> cells = Split(line.substr(1, line.size() - 2), '|');
        for (std::string& cell : cells) {
            cell = Trimmed(cell);
        }
        if (users.empty()) {
            // A heading is the user, or the user and the mask pipeway printed: "NAME=MASK".
            for (auto cell = cells.begin() + 1; cell != cells.end(); ++cell) {
                users.push_back(cell->substr(0, cell->rfind('=')));
            }
            continue;
        }
        for (std::size_t i = 1; i < cells.size() && i <= users.size(); ++i) {
            table[cells[0]][users[i - 1]] = cells[i];
        }
    }
    return table;
}

}  // namespace

namespace {

// A mask as the --users option takes it: decimal for the role bits alone, else hexadecimal.
std::string MaskText(std::uint32_t mask) {
    if (mask <= 7) {
        return std::to_string(mask);
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(mask));
    return text;
}

// A column's heading: the user and the mask its decisions are made for, "NAME=MASK"; a mask
// from the rights module is the one it gives without a localLogin token ("?" when it cannot be
// asked).
std::string Heading(const TableUser& user, RightsAnswers& asked) {
    const std::optional<std::uint32_t> mask = MaskOf(user, "localLogin=TRUE", asked);
    return user.name + "=" + (mask ? MaskText(*mask) : std::string("?"));
}

// Prints the table: a header of users and their masks, a rule, then one row per command line.
void PrintTable(const std::vector<std::string>& commands, const std::vector<TableUser>& users,
                DecisionTable& decided, RightsAnswers& asked) {
    std::vector<std::size_t> widths = {std::string("command line").size()};
    std::vector<std::string> header = {"command line"};
    for (const TableUser& user : users) {
        header.push_back(Heading(user, asked));
        widths.push_back(std::max<std::size_t>(header.back().size(), 12));
    }
    for (const std::string& command : commands) {
        widths[0] = std::max(widths[0], command.size());
    }
    std::printf("%s", Row(header, widths).c_str());
    std::vector<std::string> rule;
    for (const std::size_t width : widths) {
        rule.push_back(std::string(width, '-'));
    }
    std::printf("%s", Row(rule, widths).c_str());
    for (const std::string& command : commands) {
        std::vector<std::string> cells = {command};
        for (const TableUser& user : users) {
            cells.push_back(decided[command][user.name]);
        }
        std::printf("%s", Row(cells, widths).c_str());
    }
}

// Compares the decisions with the expectation table in `file`, printing each difference; true
// when at least one decision was compared and none differs.
bool MatchesExpected(const DecisionTable& decided, const std::string& file) {
    int differences = 0;
    int compared = 0;
    for (const auto& [command, expectations] : ReadTable(file)) {
        for (const auto& [user, expected] : expectations) {
            ++compared;
            const auto row = decided.find(command);
            const std::string found = row == decided.end() || row->second.count(user) == 0
                                          ? "not in the table"
                                          : row->second.at(user);
            if (found != expected) {
                ++differences;
                std::printf("difference: %s for %s: expected %s, found %s\n", command.c_str(),
                            user.c_str(), expected.c_str(), found.c_str());
            }
        }
    }
    if (differences == 0 && compared > 0) {
        std::printf("expected: all %d decisions\n", compared);
        return true;
    }
    std::printf("expected: %d of %d decisions differ\n", differences, compared);
    return false;
}

}  // namespace

int Test(const PolicyOptions& options, const fs::path& stack) {
    const std::vector<TableUser> users = TableUsers(options.users);
    const bool asksRights =
        std::any_of(users.begin(), users.end(), [](const TableUser& user) { return !user.mask; });
    const CoreAttached core;
    if (asksRights) {
        CheckStack(stack);  // the rights module is found as the provider finds it
    }
    const ParsedPolicy parsed = ReadPolicy(options.file);
    if (!parsed.file.store->FileOpened()) {
        std::fprintf(stderr, "pipeway: the exclusion file %s cannot be read\n",
                     options.file.c_str());
        return kExitResult;
    }
    const std::vector<std::string> commands = TableCommands(options.commands, parsed);
    DecisionTable decided;
    RightsAnswers asked;
    for (const std::string& command : commands) {
        const std::vector<std::string> cells = DecideRow(*parsed.file.store, command, users, asked);
        for (std::size_t i = 0; i < users.size(); ++i) {
            decided[command][users[i].name] = cells[i];
        }
    }
    std::printf("policy: %s\n", options.file.c_str());
    PrintBrokenWarning(options.file, parsed);
    PrintTable(commands, users, decided, asked);
    const bool asExpected = !options.expect || MatchesExpected(decided, *options.expect);
    return parsed.file.accepted && asExpected ? kExitOk : kExitResult;
}

}  // namespace pipeway
