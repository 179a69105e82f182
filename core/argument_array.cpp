#include "core/argument_array.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace pw::core {

ArgumentArray::ArgumentArray(std::string_view text, std::size_t count, std::size_t extra)
    : m_argv(static_cast<char**>(std::calloc(count + 1, sizeof(char*)))),
      m_text(static_cast<char*>(std::calloc(text.size() + extra, 1))),
      m_textSize(text.size()),
      m_argc(static_cast<unsigned>(count)) {
    if (!m_argv || !m_text) {
        throw std::bad_alloc();
    }
    std::memcpy(m_text.get(), text.data(), text.size());
}

void ArgumentArray::Append(std::string_view token) {
    char* appended = m_text.get() + m_textSize;
    std::memcpy(appended, token.data(), token.size());
    appended[token.size()] = '\0';
    m_argv.get()[m_argc++] = appended;
}

}  // namespace pw::core
