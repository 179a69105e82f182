#include "authex/policy_text.h"

#include "authex/authex_lexer.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>
#include <streambuf>

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
    using token = yy::Parser::token;
    // The store's own scanner reads the rest of the file: a COMMAND element is "<", COMMAND and
    // "name" (or "name="), then the name, in double quotes or not. Without quotes the scanner
    // reads "name=x" and "=x" as one name: the name is what follows the "=". Bytes no rule
    // takes (single quotes, line ends) are dropped.
    std::istringstream in(text.substr(std::min(offset, text.size())));
    struct Discard : std::streambuf {
        int overflow(int c) override { return traits_type::not_eof(c); }
    } discardBuffer;
    std::ostream discard(&discardBuffer);
    yy::CAuthExFileLexer scanner(&in, &discard, &discard);
    std::vector<std::string> names;
    std::set<std::string, std::less<>> seen;
    const auto take = [&names, &seen](std::string name) {
        if (!name.empty() && seen.insert(name).second) {
            names.push_back(std::move(name));
        }
    };
    // How far into "<" COMMAND ANAME [EQ] [QUOT] NAME the tokens have come.
    enum class Step { kNone, kOpen, kCommand, kName } step = Step::kNone;
    yy::Parser::semantic_type value;
    for (int kind = scanner.yylex(&value); kind != 0; kind = scanner.yylex(&value)) {
        // The text of a NAME or QUOT is taken out at once: `value` is empty again before
        // anything here can throw.
        std::string word;
        if (kind == token::NAME || kind == token::QUOT) {
            word = std::move(value.as<std::string>());
            value.destroy<std::string>();
        }
        if (kind == token::LT) {
            step = Step::kOpen;
        } else if (step == Step::kOpen && kind == token::COMMAND) {
            step = Step::kCommand;
        } else if (step == Step::kCommand && kind == token::ANAME) {
            step = Step::kName;
        } else if (step == Step::kCommand && kind == token::NAME && word.size() > 5 &&
                   std::equal(word.begin(), word.begin() + 5, "name=", [](char a, char b) {
                       return std::tolower(static_cast<unsigned char>(a)) == b;
                   })) {
            take(word.substr(5));
            step = Step::kNone;
        } else if (step == Step::kName && kind == token::NAME) {
            take(word[0] == '=' ? word.substr(1) : word);
            step = Step::kNone;
        } else if (step != Step::kName || (kind != token::EQ && kind != token::QUOT)) {
            step = Step::kNone;
        }
    }
    return names;
}
