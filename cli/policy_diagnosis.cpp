#include "cli/policy_diagnosis.h"

#include "authex/policy_text.h"

#include <algorithm>
#include <vector>

namespace pipeway {

namespace {

using Token = CSingletonAuthExceptionImpl::Token;

std::string Joined(const std::vector<Token>& tokens) {
    std::string words;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        words += (i == 0 ? "" : i + 1 == tokens.size() ? " or " : ", ") + tokens[i].spelling;
    }
    return words;
}

// The advice for the mistakes people make, or nothing.
std::string Hint(const CSingletonAuthExceptionImpl::SyntaxError& error) {
    const CSingletonAuthExceptionImpl::SyntaxTokens& tokens = error.tokens;
    const Token::Class found = tokens.unexpected.kind;
    const bool expectsTag =
        std::any_of(tokens.expected.begin(), tokens.expected.end(),
                    [](const Token& token) { return token.kind == Token::Class::kTag; });
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
    if (found == Token::Class::kName && expectsTag) {
        return "'" + error.text +
               "' is no tag of the format: the tags are AUTHEXLIST, ADMIN, POWERUSER, USER, "
               "COMMAND and PARAM (in any case)";
    }
    if (found == Token::Class::kTag && expectsTag) {
        return "this tag does not close the element that is open here: is a closing tag "
               "missing or misspelt?";
    }
    if (found == Token::Class::kEnd) {
        return "the file ends inside an element: a closing tag is missing";
    }
    return "";
}

}  // namespace

std::string DescribeSyntaxError(const std::string& path, const std::string& text,
                                const CSingletonAuthExceptionImpl::SyntaxError& error,
                                std::size_t kept) {
    std::string report = path + ":" + std::to_string(error.line) + ":" +
                         std::to_string(error.column) + ": syntax error: ";
    report += error.text.empty() ? "the file ends" : "found '" + error.text + "'";
    if (!error.tokens.expected.empty()) {
        report += (error.text.empty() ? " where it needs " : " where the file needs ") +
                  Joined(error.tokens.expected);
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
    if (const std::string hint = Hint(error); !hint.empty()) {
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
