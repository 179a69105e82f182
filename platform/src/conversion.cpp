// Code-page conversion. Every ANSI code page is UTF-8 here, and wide strings are UTF-32, so the
// work is UTF-8 <-> UTF-32 with the Windows size protocol and error codes around it.
#include "platform/src/no_throw.h"
#include "platform/src/fault.h"
#include "platform/src/text.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <string>
#include <string_view>

namespace {

using pwplatform::DecodeUtf8;
using pwplatform::IsScalarValue;

enum class PageKind { kAnsi, kUtf8, kUnknown };

PageKind Classify(UINT codePage) {
    switch (codePage) {
        case CP_ACP:
        case CP_OEMCP:
        case CP_THREAD_ACP:
            return PageKind::kAnsi;
        case CP_UTF8:
            return PageKind::kUtf8;
        default:
            return PageKind::kUnknown;
    }
}

int Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

// The checks Windows makes before converting anything; 0 when the arguments are good.
DWORD CheckBuffers(const void* input, int inputLength, const void* output, int outputSize) {
    if (input == nullptr || inputLength == 0 || inputLength < -1 || outputSize < 0 ||
        (output == nullptr && outputSize != 0) || (output != nullptr && output == input)) {
        return ERROR_INVALID_PARAMETER;
    }
    return 0;
}

DWORD CheckToWideFlags(PageKind page, DWORD flags) {
    const DWORD allowed = page == PageKind::kUtf8 ? MB_ERR_INVALID_CHARS
                                                  : MB_PRECOMPOSED | MB_COMPOSITE |
                                                        MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
    if ((flags & ~allowed) != 0 ||
        (flags & (MB_PRECOMPOSED | MB_COMPOSITE)) == (MB_PRECOMPOSED | MB_COMPOSITE)) {
        return ERROR_INVALID_FLAGS;
    }
    return 0;
}

DWORD CheckToNarrowFlags(PageKind page, DWORD flags, LPCCH defaultChar, LPBOOL usedDefaultChar) {
    if (page == PageKind::kUtf8) {
        if ((flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
            return ERROR_INVALID_FLAGS;
        }
        return defaultChar != nullptr || usedDefaultChar != nullptr ? ERROR_INVALID_PARAMETER : 0;
    }
    const DWORD allowed =
        WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_NO_BEST_FIT_CHARS;
    return (flags & ~allowed) != 0 ? ERROR_INVALID_FLAGS : 0;
}

// Copies a converted text with the size protocol: size 0 asks for the size.
template <typename Char>
int Deliver(const std::basic_string<Char>& converted, Char* output, int outputSize) {
    const auto needed = static_cast<int>(converted.size());
    if (outputSize == 0) {
        return needed;
    }
    if (needed > outputSize) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(output, converted.data(), converted.size() * sizeof(Char));
    return needed;
}

// The checks both directions make first, in Windows' order: the code page (which it gives in
// `page`), a failure injected here, then the buffers; 0 when all pass.
DWORD CheckCall(UINT codePage, PageKind& page, const void* input, int inputLength,
                const void* output, int outputSize) {
    page = Classify(codePage);
    if (page == PageKind::kUnknown) {
        return ERROR_INVALID_PARAMETER;
    }
    if (pwplatform::FaultHere(PW_FAULT_CONVERSION)) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return CheckBuffers(input, inputLength, output, outputSize);
}

// How one wide character is written in the narrow code page: as UTF-8 when it is a scalar
// value; otherwise as U+FFFD in UTF-8 (or refused with WC_ERR_INVALID_CHARS), and as the
// default character in the ANSI page.
struct NarrowRules {
    PageKind page;
    DWORD flags;
    char defaultChar;
};

// A character's bytes; 0 when it cannot be written.
std::size_t NarrowChar(wchar_t wide, const NarrowRules& rules, char* out, bool& usedDefault) {
    const auto c = static_cast<char32_t>(wide);
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (IsScalarValue(c)) {
        return pwplatform::EncodeUtf8(c, out);
    }
    if (rules.page == PageKind::kUtf8) {
        return (rules.flags & WC_ERR_INVALID_CHARS) != 0 ? 0 : pwplatform::EncodeUtf8(0xFFFD, out);
    }
    out[0] = rules.defaultChar;
    usedDefault = true;
    return 1;
}

constexpr std::size_t kUntranslatable = static_cast<std::size_t>(-1);

// The narrow length of `wide`, or kUntranslatable.
std::size_t NarrowLength(std::wstring_view wide, const NarrowRules& rules, bool& usedDefault) {
    std::size_t needed = 0;
    char bytes[pwplatform::kMaxUtf8Length];
    for (const wchar_t c : wide) {
        const std::size_t length = NarrowChar(c, rules, bytes, usedDefault);
        if (length == 0) {
            return kUntranslatable;
        }
        needed += length;
    }
    return needed;
}

// Writes `wide` narrow to `out`, which has room for all of it (NarrowLength measured it).
void WriteNarrow(std::wstring_view wide, const NarrowRules& rules, char* out) {
    bool usedDefault = false;
    for (const wchar_t c : wide) {
        out += NarrowChar(c, rules, out, usedDefault);
    }
}

}  // namespace

extern "C" {

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
    return pwplatform::NoThrow<int>(0, ERROR_NOT_ENOUGH_MEMORY, [&]() -> int {
        PageKind page = PageKind::kUnknown;
        if (const DWORD error = CheckCall(CodePage, page, lpMultiByteStr, cbMultiByte,
                                          lpWideCharStr, cchWideChar)) {
            return Fail(error);
        }
        if (const DWORD error = CheckToWideFlags(page, dwFlags)) {
            return Fail(error);
        }
        const std::size_t length = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1
                                                     : static_cast<std::size_t>(cbMultiByte);
        std::string_view input(lpMultiByteStr, length);
        std::wstring wide;
        while (!input.empty()) {
            const pwplatform::Utf8Char c = DecodeUtf8(input);
            if (!c.valid && (dwFlags & MB_ERR_INVALID_CHARS) != 0) {
                return Fail(ERROR_NO_UNICODE_TRANSLATION);
            }
            wide += static_cast<wchar_t>(c.codePoint);
            input.remove_prefix(c.length);
        }
        return Deliver(wide, lpWideCharStr, cchWideChar);
    });
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
    return pwplatform::NoThrow<int>(0, ERROR_NOT_ENOUGH_MEMORY, [&]() -> int {
        PageKind page = PageKind::kUnknown;
        if (const DWORD error = CheckCall(CodePage, page, lpWideCharStr, cchWideChar,
                                          lpMultiByteStr, cbMultiByte)) {
            return Fail(error);
        }
        if (const DWORD error =
                CheckToNarrowFlags(page, dwFlags, lpDefaultChar, lpUsedDefaultChar)) {
            return Fail(error);
        }
        const std::wstring_view wide(lpWideCharStr, cchWideChar == -1
                                                        ? std::wcslen(lpWideCharStr) + 1
                                                        : static_cast<std::size_t>(cchWideChar));
        const NarrowRules rules{page, dwFlags, lpDefaultChar != nullptr ? *lpDefaultChar : '?'};
        // Two passes, as Windows converts: one that measures, one that writes into the
        // caller's buffer. No copy of the whole text is made on the way.
        bool usedDefault = false;
        const std::size_t needed = NarrowLength(wide, rules, usedDefault);
        if (lpUsedDefaultChar != nullptr) {
            *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
        }
        if (needed == kUntranslatable) {
            return Fail(ERROR_NO_UNICODE_TRANSLATION);
        }
        if (needed > static_cast<std::size_t>(INT_MAX)) {
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        }
        if (cbMultiByte == 0) {
            return static_cast<int>(needed);
        }
        if (needed > static_cast<std::size_t>(cbMultiByte)) {
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        }
        WriteNarrow(wide, rules, lpMultiByteStr);
        return static_cast<int>(needed);
    });
}

}  // extern "C"
