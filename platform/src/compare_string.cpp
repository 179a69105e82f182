// CompareStringW and the thread locale.
//
// Every locale sorts alike here, the way a string sort does for English: each character has a
// primary weight (symbols, then digits, then letters, each group in the order of its lower-case
// code points) and strings compare by those first; only strings equal in them compare by case,
// lower case first. Non-ASCII letters sort after the ASCII ones, by code point.
#include "platform/src/no_throw.h"
#include "platform/src/text.h"

#include <cwchar>
#include <string_view>
#include <vector>

namespace {

using pwplatform::FoldCase;

enum CharClass { kSymbol = 1, kDigit = 2, kLetter = 3 };

constexpr LCID kEnglishUnitedStates = 0x0409;

thread_local LCID t_threadLocale = kEnglishUnitedStates;

CharClass Classify(wchar_t folded) {
    const auto u = static_cast<std::uint32_t>(folded);
    if (u >= '0' && u <= '9') {
        return kDigit;
    }
    if ((u >= 'a' && u <= 'z') || (u >= 0xC0 && u != 0xD7 && u != 0xF7)) {
        return kLetter;
    }
    return kSymbol;
}

struct Weighed {
    std::vector<std::uint64_t> primary;
    std::vector<bool> upper;
};

Weighed Weigh(std::wstring_view text, bool ignoreSymbols) {
    Weighed weighed;
    for (const wchar_t c : text) {
        const wchar_t folded = FoldCase(c);
        const CharClass group = Classify(folded);
        if (ignoreSymbols && group == kSymbol) {
            continue;
        }
        weighed.primary.push_back((static_cast<std::uint64_t>(group) << 32) |
                                  static_cast<std::uint32_t>(folded));
        weighed.upper.push_back(folded != c);
    }
    return weighed;
}

int Order(bool less, bool greater) {
    return less ? CSTR_LESS_THAN : (greater ? CSTR_GREATER_THAN : CSTR_EQUAL);
}

std::wstring_view View(PCNZWCH text, int count) {
    return count == -1 ? std::wstring_view(text)
                       : std::wstring_view(text, static_cast<std::size_t>(count));
}

}  // namespace

extern "C" {

int WINAPI CompareStringW(LCID Locale, DWORD dwCmpFlags, PCNZWCH lpString1, int cchCount1,
                          PCNZWCH lpString2, int cchCount2) {
    return pwplatform::NoThrow<int>(0, ERROR_NOT_ENOUGH_MEMORY, [&]() -> int {
        (void)Locale;
        constexpr DWORD kKnownFlags =
            NORM_IGNORECASE | NORM_IGNORENONSPACE | NORM_IGNORESYMBOLS | SORT_DIGITSASNUMBERS |
            LINGUISTIC_IGNORECASE | LINGUISTIC_IGNOREDIACRITIC | SORT_STRINGSORT |
            NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH | NORM_LINGUISTIC_CASING;
        if (lpString1 == nullptr || lpString2 == nullptr || cchCount1 < -1 || cchCount2 < -1) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        if ((dwCmpFlags & ~kKnownFlags) != 0) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
        const bool ignoreCase = (dwCmpFlags & (NORM_IGNORECASE | LINGUISTIC_IGNORECASE)) != 0;
        const bool ignoreSymbols = (dwCmpFlags & NORM_IGNORESYMBOLS) != 0;
        const Weighed first = Weigh(View(lpString1, cchCount1), ignoreSymbols);
        const Weighed second = Weigh(View(lpString2, cchCount2), ignoreSymbols);
        if (first.primary != second.primary) {
            return Order(first.primary<second.primary, first.primary> second.primary);
        }
        if (!ignoreCase) {
            for (std::size_t i = 0; i < first.upper.size(); ++i) {
                if (first.upper[i] != second.upper[i]) {
                    return Order(!first.upper[i], first.upper[i]);
                }
            }
        }
        return CSTR_EQUAL;
    });
}

LCID WINAPI GetThreadLocale(void) {
    return t_threadLocale;
}

WINBOOL WINAPI SetThreadLocale(LCID Locale) {
    if (LANGIDFROMLCID(Locale) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The default locales stand for the one locale this platform has.
    const bool isDefault = Locale == LOCALE_SYSTEM_DEFAULT || Locale == LOCALE_USER_DEFAULT;
    t_threadLocale = isDefault ? kEnglishUnitedStates : Locale;
    return TRUE;
}

}  // extern "C"
