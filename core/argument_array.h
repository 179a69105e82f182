// The argument array a DA module receives: one calloc block of pointers into one calloc copy of
// the tokens' text, with room for one more entry. Separate blocks per entry would cost a command
// line of short tokens some forty bytes a token; a module cannot tell the difference, as it
// owns none of them.
#pragma once

#include "pw/resources.h"

#include <cstddef>
#include <string_view>

namespace pw::core {

class ArgumentArray : private pw::NoCopy {
  public:
    // `count` entries, null until pointed, into a copy of `text` (the tokens, each ending with
    // its NUL), and room for one appended entry of up to `extra` bytes with its NUL. Throws
    // std::bad_alloc.
    ArgumentArray(std::string_view text, std::size_t count, std::size_t extra);

    // Entry `index` becomes the copied text from `offset` on, up to its NUL.
    void Point(std::size_t index, std::size_t offset) {
        m_argv.get()[index] = m_text.get() + offset;
    }
    // Appends a copy of `token` as a new last entry; only once, and at most `extra` bytes.
    void Append(std::string_view token);

    char** Argv() const { return m_argv.get(); }
    unsigned Argc() const { return m_argc; }

  private:
    pw::UniqueFree<char*> m_argv;
    pw::UniqueFree<char> m_text;
    std::size_t m_textSize;
    unsigned m_argc;
};

}  // namespace pw::core
