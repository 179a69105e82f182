// Text helpers shared inside pwplatform: UTF-8 <-> UTF-32 and the simple case folding that
// registry names and CompareStringW use.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace pwplatform {

struct Utf8Char {
    char32_t codePoint;  // U+FFFD when !valid
    std::size_t length;  // bytes consumed, at least 1
    bool valid;
};

// Decodes the character at the start of `text` (not empty). An ill-formed sequence counts as
// one invalid character over its maximal well-formed prefix (at least one byte), which is how
// Windows replaces ill-formed input with U+FFFD.
Utf8Char DecodeUtf8(std::string_view text);

inline bool IsScalarValue(char32_t c) {
    return c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF);
}

constexpr std::size_t kMaxUtf8Length = 4;

// Writes the UTF-8 form of a scalar value to `out` (room for kMaxUtf8Length bytes); returns
// how many bytes it wrote.
std::size_t EncodeUtf8(char32_t c, char* out);

// Appends the UTF-8 form of a scalar value.
void AppendUtf8(std::string& out, char32_t c);

// Lossy conversion for names: invalid input becomes U+FFFD.
std::wstring WideFromUtf8(std::string_view text);

// Lower case of ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters; every other
// character is its own.
wchar_t FoldCase(wchar_t c);
std::wstring FoldCase(std::wstring_view text);

}  // namespace pwplatform
