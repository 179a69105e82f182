#include "pipeway_policy.h"

#include "auth_exception.h"
#include "pipeway_provider_impl.h"
#include "policy_diagnosis.h"
#include "pw/resources.h"
#include "pw/stack_files.h"
#include "pw/stack_layout.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

namespace pipeway {
namespace {

namespace fs = std::filesystem;

const char* SectionOf(int role) {
    switch (role) {
        case ROLE_USER:
            return "USER";
        case ROLE_POWERUSER:
            return "POWERUSER";
        case ROLE_ADMIN:
            return "ADMIN";
        default:
            return "(none)";
    }
}

const char* RoleSetName(int effectiveSet) {
    switch (effectiveSet) {
        case ROLE_ADMIN:
            return "administrator";
        case ROLE_POWERUSER | ROLE_ADMIN:
            return "power user";
        case ROLE_USER | ROLE_POWERUSER | ROLE_ADMIN:
            return "user";
        default:
            return "no role";
    }
}

// The parse with the parser's standard output collected: the scanner copies the file's line
// ends there and the parser its syntax error message. Returns the message, if any.
struct ParsedPolicy {
    CSingletonAuthExceptionImpl::PolicyFile file;
    std::string message;
};

ParsedPolicy Parse(const std::string& path) {
    std::ostringstream captured;
    std::streambuf* saved = std::cout.rdbuf(captured.rdbuf());
    ParsedPolicy parsed;
    try {
        parsed.file = CSingletonAuthExceptionImpl::ReadPolicyFile(path);
    } catch (...) {
        std::cout.rdbuf(saved);
        throw;
    }
    std::cout.rdbuf(saved);
    const std::string text = captured.str();
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string::npos) {
        parsed.message = text.substr(first, text.find_last_not_of(" \t\r\n") + 1 - first);
    }
    return parsed;
}

bool Readable(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && std::ifstream(path).is_open();
}

int Check(const std::string& path) {
    if (!Readable(path)) {
        std::fprintf(stderr, "pipeway: the exclusion file %s cannot be read\n", path.c_str());
        return kExitResult;
    }
    const ParsedPolicy parsed = Parse(path);
    for (const auto& duplicate : parsed.file.duplicates) {
        std::fprintf(stderr, "%s", DescribeDuplicate(path, duplicate).c_str());
    }
    if (!parsed.file.accepted) {
        const std::size_t kept = parsed.file.store->RoleTable().size();
        if (parsed.file.syntaxError) {
            std::ifstream in(path, std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(in)), {});
            std::fprintf(stderr, "%s",
                         DescribeSyntaxError(path, text, *parsed.file.syntaxError, kept).c_str());
        } else {
            std::fprintf(
                stderr, "%s: %s\n", path.c_str(),
                parsed.message.empty() ? "the file cannot be read" : parsed.message.c_str());
        }
        return kExitResult;
    }
    const auto& table = parsed.file.store->RoleTable();
    std::size_t width = 3;
    for (const auto& [key, role] : table) {
        width = std::max(width, key.size());
    }
    std::printf("%-*s  %s  %s\n", static_cast<int>(width), "key", "role", "section");
    for (const auto& [key, role] : table) {
        std::printf("%-*s  %-4d  %s\n", static_cast<int>(width), key.c_str(), role,
                    SectionOf(role));
    }
    std::printf("%zu entr%s\n", table.size(), table.size() == 1 ? "y" : "ies");
    return kExitOk;
}

// The exclusion file of the stack: under the install root that the stack's common-services
// library reports.
std::string InstalledPolicy(const fs::path& stack) {
    return CheckStack(stack).installRoot.string() + pw::stack::kExclusionFile;
}

// Replaces the stack's live exclusion file with `file` once it passes the check: written beside
// the live file, then moved over it in one step, so that the provider never reads a half-
// written policy; the file it replaces is kept as "authexclusion.xml.previous".
int Install(const std::string& file, const fs::path& stack) {
    const std::string live = InstalledPolicy(stack);
    if (Check(file) != kExitOk) {
        std::fprintf(stderr, "pipeway: %s is not installed; %s is unchanged\n", file.c_str(),
                     live.c_str());
        return kExitResult;
    }
    // The bytes installed are read once, as the provider reads them.
    const pw::stack::FileContent read =
        pw::stack::ReadRegularFile(file, pw::stack::kExclusionFileLimit);
    const std::string next = live + ".new";
    const std::string previous = live + ".previous";
    std::error_code error;
    const auto fail = [&](const std::string& why) {
        fs::remove(next, error);
        std::fprintf(stderr, "pipeway: %s; %s is unchanged\n", why.c_str(), live.c_str());
        return kExitResult;
    };
    if (!read.content) {
        return fail(file + " " + read.refusal);
    }
    if (!WriteDurably(next, *read.content)) {
        return fail("cannot write " + next);
    }
    // The current file is kept when it is one the provider would read; copied by hand, since
    // the C++ library of mingw cannot overwrite a file it copies to.
    const pw::stack::FileContent current =
        pw::stack::ReadRegularFile(live, pw::stack::kExclusionFileLimit);
    if (current.content && !WriteDurably(previous, *current.content)) {
        return fail("cannot keep the current file as " + previous);
    }
    if (!MoveOver(next, live)) {
        return fail("cannot move " + next + " over it");
    }
    std::printf("installed: %s\n", live.c_str());
    if (fs::exists(previous, error)) {
        std::printf("previous: %s\n", previous.c_str());
    }
    std::printf(
        "takes effect: at the next provider load. WMI unloads an idle provider after its "
        "cache-control interval; restarting the provider host loads it at once.\n");
    return kExitOk;
}

std::uint32_t ParseMask(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long mask = std::strtoull(text.c_str(), &end, 0);
    if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0 || mask > 0xFFFFFFFFull) {
        throw UsageError{"--mask needs a 32-bit unsigned number, not '" + text + "'"};
    }
    return static_cast<std::uint32_t>(mask);
}

// The command core as the provider library has it between its attach and detach
// notifications, for as long as the object lives: the rights module is loaded through its
// module cache, which is emptied again at the end.
class CoreAttached : private pw::NoCopy {
  public:
    CoreAttached() { CoreProcessAttach(); }
    ~CoreAttached() {
        CoreDropSharedState();
        CoreProcessDetach();
    }
};

// The reason for a decision: the rule or the key that settled it.
std::string Reason(const CSingletonAuthExceptionImpl& store, std::uint32_t mask,
                   const std::string& command, const pw::TokenList& tokens) {
    const int effectiveSet = CSingletonAuthExceptionImpl::EffectiveRoleSet(mask);
    if (!store.FileOpened()) {
        return "the exclusion file cannot be opened: everyone is refused";
    }
    if (mask == TRUE_ADMIN_MASK) {
        return "the true administrator is never refused";
    }
    if (effectiveSet == 0) {
        return "the mask holds none of the role bits 1, 2 and 4";
    }
    std::string key = command;
    for (std::size_t i = 0; i <= tokens.size(); ++i) {
        if (i > 0) {
            CSingletonAuthExceptionImpl::TokenKey(command, tokens[i - 1], key);
        }
        const int role = store.LookupRole(key);
        if (CSingletonAuthExceptionImpl::Refuses(role, effectiveSet)) {
            return "refused by key " + key + " (role " + std::to_string(role) + ", " +
                   SectionOf(role) + " section)";
        }
    }
    return "no entry refuses the command or its tokens";
}

// The policy decides on the tokens as the client wrote them; a third token
// "$$manglevalue=<digit triplets>" reaches the module decoded, as "value=<bytes>". Warns when a
// parameter entry of the command would refuse that decoded token to this caller.
void PrintMangledWarning(const CSingletonAuthExceptionImpl& store, std::uint32_t mask,
                         const PipewayProviderImpl& request) {
    std::string decoded;
    if (request.Argc() < 3 || DecodeMangledEntry(request.Argv()[2], decoded) != Mangled::kDecoded ||
        mask == TRUE_ADMIN_MASK || !store.FileOpened()) {
        return;
    }
    std::string key;
    CSingletonAuthExceptionImpl::TokenKey(request.Command(), decoded, key);
    const int role = store.LookupRole(key);
    if (!CSingletonAuthExceptionImpl::Refuses(
            role, CSingletonAuthExceptionImpl::EffectiveRoleSet(mask))) {
        return;
    }
    std::printf(
        "warning: the token %s reaches the module decoded, as %s, which the entry %s (role %d, "
        "%s section) refuses: the policy decides on tokens as written and never sees a "
        "$$manglevalue token decoded\n",
        request.Argv()[2], decoded.c_str(), key.c_str(), role, SectionOf(role));
}

// Where a policy that the provider reads only in part breaks, with what that costs.
void PrintBrokenWarning(const std::string& path,
                        const CSingletonAuthExceptionImpl::PolicyFile& file) {
    if (!file.accepted && file.syntaxError) {
        std::printf(
            "warning: the file is broken at line %d, column %d: the provider keeps only the "
            "entries before it (pipeway policy check %s)\n",
            file.syntaxError->line, file.syntaxError->column, path.c_str());
    }
}

void PrintResult(std::int32_t code, const char* why) {
    std::printf("ResultCode: %d (%s): %s\n", static_cast<int>(code), ResultText(code), why);
}

// The provider's path for one command line: its tokens, validation, the caller's mask (given,
// or asked of the stack's rights module for a user), then the policy's decision.
int Explain(const PolicyOptions& options, std::uint32_t givenMask, const fs::path& stack) {
    const std::optional<std::vector<std::string>> tokens = CommandTokens(options.words, false);
    if (!tokens) {
        std::printf("result: the call fails: the command line cannot be cut into tokens\n");
        return kExitResult;
    }
    const PipewayProviderImpl request(PipewayProviderImpl::ValidationOnly{}, *tokens);
    if (request.Status() != PipewayMgtData::kSuccess) {
        PrintResult(request.Status(),
                    "validation refuses the command line before any policy "
                    "decision");
        return kExitResult;
    }

    std::uint32_t mask = 0;
    std::optional<std::string> rightsProblem;
    const CoreAttached core;
    if (options.user) {
        CheckStack(stack);  // the rights module is found as the provider finds it
        const std::optional<std::int32_t> asked =
            QueryUserRightsMask(*options.user, request.LocalLogin());
        if (asked) {
            mask = static_cast<std::uint32_t>(*asked);
        } else {
            rightsProblem = "the rights module rukda64 cannot be used: everyone is refused";
        }
    } else {
        mask = givenMask;
    }

    const std::string path = options.file.empty() ? InstalledPolicy(stack) : options.file;
    const ParsedPolicy parsed = Parse(path);
    const CSingletonAuthExceptionImpl& store = *parsed.file.store;
    const bool authorized =
        !rightsProblem && store.IsAuthorized(request.Command(), request.Args(), mask);
    const bool broken = !parsed.file.accepted;

    std::printf("policy: %s\n", path.c_str());
    if (store.FileOpened()) {
        PrintBrokenWarning(path, parsed.file);
    }
    std::printf("command: %s\n", request.Command().c_str());
    if (options.user) {
        std::printf("user: %s\n", options.user->c_str());
    }
    const int effectiveSet = CSingletonAuthExceptionImpl::EffectiveRoleSet(mask);
    if (!rightsProblem) {
        std::printf("mask: %u (%s)%s\n", static_cast<unsigned>(mask),
                    mask == TRUE_ADMIN_MASK ? "true administrator" : RoleSetName(effectiveSet),
                    options.user ? ", from the rights module" : "");
    }
    std::printf("decision: %s\n", authorized ? "authorized" : "refused");
    if (authorized) {
        PrintMangledWarning(store, mask, request);
    }
    std::printf("reason: %s\n",
                rightsProblem ? rightsProblem->c_str()
                              : Reason(store, mask, request.Command(), request.Args()).c_str());
    if (authorized) {
        std::printf(
            "result: the provider runs the command; the module's run gives its "
            "ResultCode\n");
    } else {
        PrintResult(PipewayMgtData::kNotAuthorized, "the policy refuses it");
    }
    return authorized && !broken ? kExitOk : kExitResult;
}

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
    TrimWhitespace(text);
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
                                       const CSingletonAuthExceptionImpl::PolicyFile& policy) {
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

// The decisions for one command line, a cell per user, as the provider reaches them: the line
// is cut and validated once, then decided for each user's mask.
std::vector<std::string> DecideRow(const CSingletonAuthExceptionImpl& store,
                                   const std::string& commandLine,
                                   const std::vector<TableUser>& users, RightsAnswers& asked) {
    const std::optional<std::vector<std::string>> tokens = CommandTokens({commandLine}, false);
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
        std::optional<std::uint32_t> mask = user.mask;
        if (!mask) {
            const auto key = std::make_pair(user.name, request.LocalLogin());
            if (asked.count(key) == 0) {
                asked[key] = QueryUserRightsMask(user.name, request.LocalLogin());
            }
            if (const std::optional<std::int32_t>& answer = asked[key]) {
                mask = static_cast<std::uint32_t>(*answer);
            }
        }
        // Without a rights module the provider refuses everyone.
        cells.push_back(mask && store.IsAuthorized(request.Command(), request.Args(), *mask)
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
            users.assign(cells.begin() + 1, cells.end());
            continue;
        }
        for (std::size_t i = 1; i < cells.size() && i <= users.size(); ++i) {
            table[cells[0]][users[i - 1]] = cells[i];
        }
    }
    return table;
}

int Test(const PolicyOptions& options, const fs::path& stack) {
    const std::vector<TableUser> users = TableUsers(options.users);
    const bool asksRights =
        std::any_of(users.begin(), users.end(), [](const TableUser& user) { return !user.mask; });
    const CoreAttached core;
    if (asksRights) {
        CheckStack(stack);  // the rights module is found as the provider finds it
    }
    const ParsedPolicy parsed = Parse(options.file);
    if (!parsed.file.store->FileOpened()) {
        std::fprintf(stderr, "pipeway: the exclusion file %s cannot be read\n",
                     options.file.c_str());
        return kExitResult;
    }
    const std::vector<std::string> commands = TableCommands(options.commands, parsed.file);

    DecisionTable decided;
    std::vector<std::size_t> widths = {std::string("command line").size()};
    std::vector<std::string> header = {"command line"};
    for (const TableUser& user : users) {
        header.push_back(user.name);
        widths.push_back(std::max<std::size_t>(user.name.size(), 12));
    }
    RightsAnswers asked;
    for (const std::string& command : commands) {
        widths[0] = std::max(widths[0], command.size());
        const std::vector<std::string> cells = DecideRow(*parsed.file.store, command, users, asked);
        for (std::size_t i = 0; i < users.size(); ++i) {
            decided[command][users[i].name] = cells[i];
        }
    }
    std::printf("policy: %s\n", options.file.c_str());
    PrintBrokenWarning(options.file, parsed.file);
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

    int status = parsed.file.accepted ? kExitOk : kExitResult;
    if (options.expect) {
        int differences = 0;
        int compared = 0;
        for (const auto& [command, expectations] : ReadTable(*options.expect)) {
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
        } else {
            std::printf("expected: %d of %d decisions differ\n", differences, compared);
            status = kExitResult;
        }
    }
    return status;
}

}  // namespace

void AddPolicyCommand(CLI::App& pipeway, PolicyOptions& options) {
    CLI::App* policy = pipeway.add_subcommand(
        "policy", "read an exclusion file with the system's scanner and parser");
    CLI::App* check = policy->add_subcommand(
        "check", "print the file's role table (key, role, section); a syntax error exits with 1");
    check->add_option("FILE", options.file, "the exclusion file")->required();
    check->callback([&options] { options.action = PolicyOptions::Action::kCheck; });
    CLI::App* install = policy->add_subcommand(
        "install",
        "check FILE as check does and make it the stack's exclusion file in one step, keeping "
        "the replaced one as authexclusion.xml.previous; a file that fails the check exits "
        "with 1 and changes nothing");
    install->add_option("FILE", options.file, "the new exclusion file")->required();
    install->callback([&options] { options.action = PolicyOptions::Action::kInstall; });
    CLI::App* explain = policy->add_subcommand(
        "explain",
        "the exclusion decision for a user-rights mask and a command line, and the key that "
        "refused it; refused exits with 1");
    explain->callback([&options] { options.action = PolicyOptions::Action::kExplain; });
    CLI::App* test = policy->add_subcommand(
        "test",
        "the decision table of a policy: command lines by users; with --expect, the "
        "differences from an expected table, which exit with 1");
    test->callback([&options] { options.action = PolicyOptions::Action::kTest; });
    test->add_option("FILE", options.file, "the exclusion file")->required();
    test->add_option("--users", options.users,
                     "the columns: NAME (mask from the stack's rights module) or NAME=MASK, "
                     "comma-separated (default: user=1, poweruser=2, administrator=4, "
                     "trueadministrator=0x40007)");
    test->add_option("--commands", options.commands,
                     "a file of command lines, one per line (default: one for each entry of the "
                     "policy, with daname=lumda64)");
    test->add_option("--expect", options.expect,
                     "a table of expected decisions in the printed form (allowed, refused, "
                     "invalid(CODE))");
    explain->add_option("--file", options.file,
                        "the exclusion file (default: the stack's installed one)");
    CLI::Option* mask = explain->add_option("--mask", options.mask,
                                            "the user-rights mask, decimal or 0x hexadecimal");
    explain
        ->add_option("--user", options.user,
                     "the caller, DOMAIN\\user: the stack's rights module gives the mask")
        ->excludes(mask);
    explain
        ->add_option("ARG", options.words,
                     "the command line: one string, or one name=value token per argument")
        ->required();
}

int RunPolicy(const PolicyOptions& options, const fs::path& stack) {
    if (options.action == PolicyOptions::Action::kCheck) {
        return Check(options.file);
    }
    if (options.action == PolicyOptions::Action::kTest) {
        return Test(options, stack);
    }
    if (options.action == PolicyOptions::Action::kInstall) {
        return Install(options.file, stack);
    }
    if (!options.mask && !options.user) {
        throw UsageError{"policy explain needs --user NAME or --mask N"};
    }
    // The mask is read first: a mistake in it is a usage error, whatever the command line.
    return Explain(options, options.mask ? ParseMask(*options.mask) : 0, stack);
}

}  // namespace pipeway
