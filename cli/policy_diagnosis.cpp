#include "cli/policy_diagnosis.h"

#include "authex/policy_text.h"

#include <algorithm>
#include <map>
#include <set>
#include <vector>

namespace pipeway {

namespace {

// The parser's token names as the file spells them.
const std::map<std::string, std::string>& Spellings() {
    static const std::map<std::string, std::string> spellings = {
        {"LT", "<"},
        {"GT", ">"},
        {"SLASH", "/"},
        {"EQ", "="},
        {"QUOT", "a double quote"},
        {"LTSLASH", "</"},
        {"ADMIN", "ADMIN"},
        {"POWERUSER", "POWERUSER"},
        {"USER", "USER"},
        {"AUTH", "AUTHEXLIST"},
        {"DANAME", "DANAME"},
        {"COMMAND", "COMMAND"},
        {"PARAMETER", "PARAM"},
        {"INCLUDE", "INCLUDE"},
        {"EXCLUDE", "EXCLUDE"},
        {"ANAME", "name="},
        {"NAME", "a name"},
        {"$end", "the end of the file"},
        {"end of file", "the end of the file"},
    };
    return spellings;
}

bool IsTag(const std::string& token) {
    static const std::set<std::string> tags = {"ADMIN",  "POWERUSER", "USER",
                                               "AUTH",   "COMMAND",   "PARAMETER",
                                               "DANAME", "INCLUDE",   "EXCLUDE"};
    return tags.count(token) != 0;
}

std::string Spelled(const std::string& token) {
    const auto found = Spellings().find(token);
    return found == Spellings().end() ? token : found->second;
}

// The parser's message "syntax error, unexpected X[, expecting A or B ...]" taken apart.
struct ParserMessage {
    std::string unexpected;
    std::vector<std::string> expected;
};

ParserMessage TakeApart(const std::string& message) {
    ParserMessage parts;
    const std::string unexpected = "unexpected ";
    const std::string expecting = ", expecting ";
    std::size_t start = message.find(unexpected);
    if (start == std::string::npos) {
        return parts;
    }
    start += unexpected.size();
    const std::size_t end = message.find(expecting, start);
    parts.unexpected = message.substr(start, end == std::string::npos ? end : end - start);
    if (end == std::string::npos) {
        return parts;
    }
    std::string rest = message.substr(end + expecting.size());
    for (std::size_t next = rest.find(" or "); next != std::string::npos;
         next = rest.find(" or ")) {
        parts.expected.push_back(rest.substr(0, next));
        rest.erase(0, next + 4);
    }
    parts.expected.push_back(rest);
    return parts;
}

std::string Joined(const std::vector<std::string>& tokens) {
    std::string words;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        words += (i == 0 ? "" : i + 1 == tokens.size() ? " or " : ", ") + Spelled(tokens[i]);
    }
    return words;
}

// The advice for the mistakes people make, or nothing.
std::string Hint(const CSingletonAuthExceptionImpl::SyntaxError& error,
                 const ParserMessage& parts) {
    const bool expectsTag = std::any_of(parts.expected.begin(), parts.expected.end(), IsTag);
    if (error.skipped.find('\'') != std::string::npos) {
        return "values are written in double quotes: name=\"" + error.text + "\", not name='" +
               error.text + "'";
    }
    if (error.skipped.find('?') != std::string::npos) {
        return "an XML declaration (<?xml ...?>) is not part of the format: remove it";
    }
    if (error.skipped.find('!') != std::string::npos) {
        return "comments (<!-- ... -->) are not part of the format: remove them";
    }
    if (parts.unexpected == "NAME" && expectsTag) {
        return "'" + error.text +
               "' is no tag of the format: the tags are AUTHEXLIST, ADMIN, POWERUSER, USER, "
               "COMMAND and PARAM (in any case)";
    }
    if (IsTag(parts.unexpected) && expectsTag) {
        return "this tag does not close the element that is open here: is a closing tag "
               "missing or misspelt?";
    }
    if (parts.unexpected == "$end" || parts.unexpected == "end of file") {
        return "the file ends inside an element: a closing tag is missing";
    }
    return "";
}

}  // namespace

std::string DescribeSyntaxError(const std::string& path, const std::string& text,
                                const CSingletonAuthExceptionImpl::SyntaxError& error,
                                std::size_t kept) {
    const ParserMessage parts = TakeApart(error.message);
    std::string report = path + ":" + std::to_string(error.line) + ":" +
                         std::to_string(error.column) + ": syntax error: ";
    report += error.text.empty() ? "the file ends" : "found '" + error.text + "'";
    if (!parts.expected.empty()) {
        report += (error.text.empty() ? " where it needs " : " where the file needs ") +
                  Joined(parts.expected);
    }
    report += "\n";

    // The line itself, and a mark under the column.
    std::size_t lineStart = 0;
    for (int line = 1; line < error.line && lineStart != std::string::npos; ++line) {
        lineStart = text.find('\n', lineStart);
        lineStart = lineStart == std::string::npos ? lineStart : lineStart + 1;
    }
    if (lineStart != std::string::npos && lineStart <= text.size()) {
        std::string line = text.substr(lineStart, text.find('\n', lineStart) - lineStart);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            report += "  " + line + "\n  " +
                      std::string(static_cast<std::size_t>(error.column - 1), ' ') + "^\n";
        }
    }
    if (const std::string hint = Hint(error, parts); !hint.empty()) {
        report += "hint: " + hint + "\n";
    }

    report += "The provider keeps the " + std::to_string(kept) + " entr" +
              (kept == 1 ? "y" : "ies") +
              " read before this point and ignores the rest of the file: every command named "
              "after it is allowed to every role";
    // From the element the error is in: its entry is not kept either.
    const std::vector<std::string> unguarded =
        CommandsNamedFrom(text, ElementAtError(text, error.line, error.column));
    if (!unguarded.empty()) {
        report += " (";
        for (std::size_t i = 0; i < unguarded.size(); ++i) {
            report += (i == 0 ? "" : ", ") + unguarded[i];
        }
        report += ")";
    }
    return report + ".\n";
}

std::string DescribeDuplicate(const std::string& path,
                              const CSingletonAuthExceptionImpl::DuplicateKey& duplicate) {
    return path + ":" + std::to_string(duplicate.line) + ": warning: the key '" + duplicate.key +
           "' is given again (role " + std::to_string(duplicate.earlierRole) + " before, role " +
           std::to_string(duplicate.laterRole) +
           " here): this later entry is the one that stands\n";
}

}  // namespace pipeway
