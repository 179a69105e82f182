#include "platform/src/text.h"

namespace pwplatform {

namespace {

bool InRange(unsigned char c, unsigned char low, unsigned char high) {
    return c >= low && c <= high;
}

}  // namespace

Utf8Char DecodeUtf8(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) {
        return {lead, 1, true};
    }
    std::size_t length = 0;
    char32_t value = 0;
    // The range of the second byte depends on the lead byte (no overlong forms, no
    // surrogates, nothing beyond U+10FFFF); later bytes are plain continuation bytes.
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
    if (InRange(lead, 0xC2, 0xDF)) {
        length = 2;
        value = lead & 0x1Fu;
    } else if (InRange(lead, 0xE0, 0xEF)) {
        length = 3;
        value = lead & 0x0Fu;
        secondLow = lead == 0xE0 ? 0xA0 : 0x80;
        secondHigh = lead == 0xED ? 0x9F : 0xBF;
    } else if (InRange(lead, 0xF0, 0xF4)) {
        length = 4;
        value = lead & 0x07u;
        secondLow = lead == 0xF0 ? 0x90 : 0x80;
        secondHigh = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return {0xFFFD, 1, false};
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (i >= text.size()) {
            return {0xFFFD, i, false};
        }
        const auto next = static_cast<unsigned char>(text[i]);
        const bool fits = i == 1 ? InRange(next, secondLow, secondHigh) : InRange(next, 0x80, 0xBF);
        if (!fits) {
            return {0xFFFD, i, false};
        }
        value = (value << 6) | (next & 0x3Fu);
    }
    return {value, length, true};
}

std::size_t EncodeUtf8(char32_t c, char* out) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

void AppendUtf8(std::string& out, char32_t c) {
    char bytes[kMaxUtf8Length];
    out.append(bytes, EncodeUtf8(c, bytes));
}

std::wstring WideFromUtf8(std::string_view text) {
    std::wstring wide;
    while (!text.empty()) {
        const Utf8Char c = DecodeUtf8(text);
        wide += static_cast<wchar_t>(c.codePoint);
        text.remove_prefix(c.length);
    }
    return wide;
}

wchar_t FoldCase(wchar_t c) {
    const auto u = static_cast<std::uint32_t>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) {
        return static_cast<wchar_t>(u + 0x20);
    }
    if (u >= 0x100 && u <= 0x17F) {
        // Latin Extended-A pairs upper and lower case as even/odd, except for two runs that
        // pair odd/even; dotted I, kra and long s have no partner here,
        // and Y with diaeresis pairs with U+00FF.
        const bool oddUpper = (u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E);
        if (u == 0x178) {
            return static_cast<wchar_t>(0xFF);
        }
        if (u == 0x130 || u == 0x131 || u == 0x138 || u == 0x149 || u == 0x17F) {
            return c;
        }
        const bool upper = oddUpper ? (u % 2 == 1) : (u % 2 == 0);
        return upper ? static_cast<wchar_t>(u + 1) : c;
    }
    if (u >= 0x391 && u <= 0x3AB && u != 0x3A2) {
        return static_cast<wchar_t>(u + 0x20);
    }
    if (u >= 0x410 && u <= 0x42F) {
        return static_cast<wchar_t>(u + 0x20);
    }
    if (u >= 0x400 && u <= 0x40F) {
        return static_cast<wchar_t>(u + 0x50);
    }
    return c;
}

std::wstring FoldCase(std::wstring_view text) {
    std::wstring folded(text);
    for (wchar_t& c : folded) {
        c = FoldCase(c);
    }
    return folded;
}

}  // namespace pwplatform
