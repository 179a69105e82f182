// Reading an exclusion file's text around a syntax error: which commands the entries after it
// name, since a store that stops at the error allows them to every role. The store's own
// scanner reads them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The offset of the element a syntax error at `line` and `column` (from 1) is in: the last
// '<' at or before that place, or the place itself.
std::size_t ElementAtError(const std::string& text, int line, int column);

// The command names of the COMMAND elements from `offset` on, each once, in file order, read
// by the scanner (a name is letters, digits, "/" and "="; a word the scanner takes for a tag,
// such as "user", is no name), tag and attribute names in any case. Linear in the text.
std::vector<std::string> CommandsNamedFrom(const std::string& text, std::size_t offset);
