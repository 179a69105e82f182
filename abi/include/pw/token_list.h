// An ordered list of narrow strings kept in one block: each string followed by a NUL, and the
// end of each in a table of 32-bit offsets. A request's tokens live here: a caller controls how
// many there are, and a list of separate strings would cost some forty bytes of bookkeeping for
// a token of three characters; this costs five.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pw {

class TokenList {
  public:
    // The most text the list holds, its NULs included: offsets are 32 bits.
    static constexpr std::size_t kMaxText = 0xFFFFFFFFu;

    class const_iterator {
      public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        const_iterator() = default;
        const_iterator(const TokenList* list, std::size_t index) : m_list(list), m_index(index) {}
        std::string_view operator*() const { return (*m_list)[m_index]; }
        std::string_view operator[](difference_type n) const {
            return (*m_list)[m_index + static_cast<std::size_t>(n)];
        }
        const_iterator& operator++() {
            ++m_index;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++m_index;
            return before;
        }
        const_iterator& operator--() {
            --m_index;
            return *this;
        }
        const_iterator operator--(int) {
            const_iterator before = *this;
            --m_index;
            return before;
        }
        const_iterator& operator+=(difference_type n) {
            m_index += static_cast<std::size_t>(n);
            return *this;
        }
        const_iterator& operator-=(difference_type n) {
            m_index -= static_cast<std::size_t>(n);
            return *this;
        }
        friend const_iterator operator+(const_iterator it, difference_type n) { return it += n; }
        friend const_iterator operator+(difference_type n, const_iterator it) { return it += n; }
        friend const_iterator operator-(const_iterator it, difference_type n) { return it -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b) {
            return static_cast<difference_type>(a.m_index) -
                   static_cast<difference_type>(b.m_index);
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) {
            return a.m_index == b.m_index;
        }
        friend bool operator<(const const_iterator& a, const const_iterator& b) {
            return a.m_index < b.m_index;
        }
        friend bool operator>(const const_iterator& a, const const_iterator& b) { return b < a; }
        friend bool operator<=(const const_iterator& a, const const_iterator& b) {
            return !(b < a);
        }
        friend bool operator>=(const const_iterator& a, const const_iterator& b) {
            return !(a < b);
        }

      private:
        const TokenList* m_list = nullptr;
        std::size_t m_index = 0;
    };

    TokenList() = default;
    TokenList(std::initializer_list<std::string_view> tokens) {
        for (const std::string_view token : tokens) {
            push_back(token);
        }
    }
    // For callers that hold their tokens as strings.
    TokenList(const std::vector<std::string>& tokens) {  // NOLINT(google-explicit-constructor)
        for (const std::string& token : tokens) {
            push_back(token);
        }
    }

    // Room for `tokens` more tokens of `bytes` characters in all, so that filling the list
    // does not move what it holds.
    void reserve(std::size_t tokens, std::size_t bytes) {
        m_ends.reserve(m_ends.size() + tokens);
        m_text.reserve(m_text.size() + bytes + tokens);
    }

    void push_back(std::string_view token) { Append(token, {}, {}); }
    // One token made of three pieces, as "name", "=", "value".
    void push_back(std::string_view first, std::string_view second, std::string_view third) {
        Append(first, second, third);
    }

    std::size_t size() const { return m_ends.size(); }
    bool empty() const { return m_ends.empty(); }
    std::string_view operator[](std::size_t i) const {
        const std::size_t start = Start(i);
        return std::string_view(m_text.data() + start, m_ends[i] - start);
    }
    std::string_view back() const { return (*this)[size() - 1]; }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, size()); }

    // The tokens, each followed by its NUL, one after another.
    const std::string& Text() const { return m_text; }
    // Where token i starts in Text().
    std::size_t Start(std::size_t i) const { return i == 0 ? 0 : m_ends[i - 1] + 1; }

    std::vector<std::string> ToVector() const { return std::vector<std::string>(begin(), end()); }

    friend bool operator==(const TokenList& a, const TokenList& b) {
        return a.m_ends == b.m_ends && a.m_text == b.m_text;
    }

  private:
    // Grows by half again when full, so that filling costs time linear in the text; a failed
    // allocation leaves the list as it was.
    void Append(std::string_view a, std::string_view b, std::string_view c) {
        const std::size_t length = a.size() + b.size() + c.size();
        if (length >= kMaxText - m_text.size()) {
            throw std::length_error("token list too long");
        }
        if (m_ends.size() == m_ends.capacity()) {
            m_ends.reserve(m_ends.size() + m_ends.size() / 2 + 8);
        }
        if (m_text.size() + length + 1 > m_text.capacity()) {
            m_text.reserve(m_text.size() + length + 1 + m_text.size() / 2);
        }
        m_text.append(a.data(), a.size()).append(b.data(), b.size()).append(c.data(), c.size());
        m_text.push_back('\0');
        m_ends.push_back(static_cast<std::uint32_t>(m_text.size() - 1));
    }

    std::string m_text;
    std::vector<std::uint32_t> m_ends;
};

}  // namespace pw
