#include "authex/policy_text.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <string_view>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '/' || c == '=';
}

// Whether `word` starts at `at`, in any letter case; moves past it when it does.
bool Take(std::string_view text, std::size_t& at, std::string_view word) {
    if (text.size() - at < word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[at + i])) != word[i]) {
            return false;
        }
    }
    at += word.size();
    return true;
}

void SkipBlanks(std::string_view text, std::size_t& at) {
    while (at < text.size() && IsBlank(text[at])) {
        ++at;
    }
}

}  // namespace

std::size_t ElementAtError(const std::string& text, int line, int column) {
    std::size_t lineStart = 0;
    for (int n = 1; n < line && lineStart != std::string::npos; ++n) {
        lineStart = text.find('\n', lineStart);
        lineStart = lineStart == std::string::npos ? lineStart : lineStart + 1;
    }
    if (lineStart == std::string::npos || lineStart > text.size()) {
        return text.size();
    }
    const std::size_t offset =
        std::min(text.size(), lineStart + static_cast<std::size_t>(std::max(column, 1) - 1));
    const std::size_t element = text.rfind('<', offset);
    return element == std::string::npos ? offset : element;
}

std::vector<std::string> CommandsNamedFrom(const std::string& text, std::size_t offset) {
    const std::string_view view(text);
    std::vector<std::string> names;
    std::set<std::string, std::less<>> seen;
    for (std::size_t at = view.find('<', std::min(offset, view.size()));
         at != std::string_view::npos; at = view.find('<', at)) {
        ++at;
        SkipBlanks(view, at);
        if (!Take(view, at, "command") || at >= view.size() || !IsBlank(view[at])) {
            continue;
        }
        SkipBlanks(view, at);
        if (!Take(view, at, "name")) {
            continue;
        }
        SkipBlanks(view, at);
        if (at < view.size() && view[at] == '=') {
            ++at;
        }
        SkipBlanks(view, at);
        if (at < view.size() && (view[at] == '"' || view[at] == '\'')) {
            ++at;
        }
        const std::size_t start = at;
        while (at < view.size() && IsNameChar(view[at])) {
            ++at;
        }
        const std::string_view name = view.substr(start, at - start);
        if (!name.empty() && seen.emplace(name).second) {
            names.emplace_back(name);
        }
    }
    return names;
}
