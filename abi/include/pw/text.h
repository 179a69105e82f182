// Conversions between the platform's wide strings and narrow ones in a code page: the ANSI
// code page for what the system's own interfaces take, UTF-8 for what a person reads.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace pw {

// `text` in code page `codePage` as wide text; nothing when the platform cannot convert it.
inline std::optional<std::wstring> Widen(std::string_view text, UINT codePage) {
    if (text.empty()) {
        return std::wstring();
    }
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (size <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    if (MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), size) != size) {
        return std::nullopt;
    }
    return wide;
}

// Wide `text` in code page `codePage`; nothing when the platform cannot convert it.
inline std::optional<std::string> Narrow(std::wstring_view text, UINT codePage) {
    if (text.empty()) {
        return std::string();
    }
    const int length = static_cast<int>(text.size());
    const int size =
        WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return std::nullopt;
    }
    std::string narrow(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(codePage, 0, text.data(), length, narrow.data(), size, nullptr,
                            nullptr) != size) {
        return std::nullopt;
    }
    return narrow;
}

}  // namespace pw
