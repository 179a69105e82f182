// Object-path syntax: [\\server\]namespace\...:Class[.Key=value[,Key=value...] | =@ | =value],
// with '/' as a separator too, a bare class name, or a namespace path alone.
#include "wbempath/wbem_path_syntax.h"

#include <wmiutils.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

namespace pwwbempath {

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool IsLetter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'_' ||
           static_cast<std::uint32_t>(c) >= 0x80;
}

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// Namespace names may also start with a digit.
bool IsNamespaceName(std::wstring_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](wchar_t c) { return IsLetter(c) || IsDigit(c); });
}

bool IsIdentifier(std::wstring_view text) {
    return !text.empty() && IsLetter(text[0]) && IsNamespaceName(text);
}

bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
    const auto fold = [](wchar_t c) {
        return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [&](wchar_t x, wchar_t y) { return fold(x) == fold(y); });
}

// The position of the first `wanted` outside double quotes, or npos.
std::size_t FindOutsideQuotes(std::wstring_view text, wchar_t wanted, bool separator = false) {
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (quoted) {
            if (c == L'\\') {
                ++i;
            } else if (c == L'"') {
                quoted = false;
            }
        } else if (c == L'"') {
            quoted = true;
        } else if (separator ? IsSeparator(c) : c == wanted) {
            return i;
        }
    }
    return std::wstring_view::npos;
}

class Reader {
  public:
    explicit Reader(std::wstring_view text) : m_text(text) {}

    bool AtEnd() const { return m_pos >= m_text.size(); }
    bool Take(wchar_t c) {
        if (!AtEnd() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    std::optional<std::wstring> Identifier() {
        std::size_t end = m_pos;
        while (end < m_text.size() && (IsLetter(m_text[end]) || IsDigit(m_text[end]))) {
            ++end;
        }
        std::wstring name(m_text.substr(m_pos, end - m_pos));
        if (!IsIdentifier(name)) {
            return std::nullopt;
        }
        m_pos = end;
        return name;
    }

    std::optional<KeyValue> Value() {
        if (Take(L'"')) {
            return QuotedString();
        }
        if (!AtEnd() && (IsDigit(m_text[m_pos]) || m_text[m_pos] == L'-')) {
            return Number();
        }
        for (const bool flag : {true, false}) {
            const std::wstring_view word = flag ? L"TRUE" : L"FALSE";
            if (EqualNoCase(m_text.substr(m_pos, word.size()), word)) {
                m_pos += word.size();
                KeyValue value;
                value.kind = KeyKind::kBoolean;
                value.flag = flag;
                return value;
            }
        }
        return std::nullopt;
    }

  private:
    // A backslash escapes a quote or a backslash; before anything else it stands for itself.
    std::optional<KeyValue> QuotedString() {
        KeyValue value;
        while (!AtEnd()) {
            const wchar_t c = m_text[m_pos++];
            if (c == L'"') {
                return value;
            }
            if (c == L'\\' && !AtEnd() && (m_text[m_pos] == L'"' || m_text[m_pos] == L'\\')) {
                value.text += m_text[m_pos++];
            } else {
                value.text += c;
            }
        }
        return std::nullopt;
    }

    std::optional<KeyValue> Number() {
        const bool negative = Take(L'-');
        ULONGLONG magnitude = 0;
        const std::size_t start = m_pos;
        while (!AtEnd() && IsDigit(m_text[m_pos])) {
            const auto digit = static_cast<ULONGLONG>(m_text[m_pos] - L'0');
            if (magnitude > (std::numeric_limits<ULONGLONG>::max() - digit) / 10) {
                return std::nullopt;
            }
            magnitude = magnitude * 10 + digit;
            ++m_pos;
        }
        if (m_pos == start) {
            return std::nullopt;
        }
        constexpr auto kSignedMax = static_cast<ULONGLONG>(std::numeric_limits<LONGLONG>::max());
        KeyValue value;
        if (negative) {
            if (magnitude > kSignedMax + 1) {
                return std::nullopt;
            }
            value.kind = KeyKind::kSigned;
            value.number = magnitude == kSignedMax + 1 ? std::numeric_limits<LONGLONG>::min()
                                                       : -static_cast<LONGLONG>(magnitude);
        } else if (magnitude <= kSignedMax) {
            value.kind = KeyKind::kSigned;
            value.number = static_cast<LONGLONG>(magnitude);
        } else {
            value.kind = KeyKind::kUnsigned;
            value.unsignedNumber = magnitude;
        }
        return value;
    }

    std::wstring_view m_text;
    std::size_t m_pos = 0;
};

bool ParseRelative(std::wstring_view text, PathData& path) {
    Reader reader(text);
    std::optional<std::wstring> className = reader.Identifier();
    if (!className) {
        return false;
    }
    path.className = *className;
    if (reader.AtEnd()) {
        return true;
    }
    if (reader.Take(L'=')) {
        if (reader.Take(L'@')) {
            path.singleton = true;
            return reader.AtEnd();
        }
        std::optional<KeyValue> value = reader.Value();
        if (!value || !reader.AtEnd()) {
            return false;
        }
        path.keys.push_back(PathKey{L"", std::move(*value)});
        return true;
    }
    if (!reader.Take(L'.')) {
        return false;
    }
    do {
        std::optional<std::wstring> name = reader.Identifier();
        if (!name || !reader.Take(L'=')) {
            return false;
        }
        std::optional<KeyValue> value = reader.Value();
        if (!value) {
            return false;
        }
        for (const PathKey& key : path.keys) {
            if (EqualNoCase(key.name, *name)) {
                return false;
            }
        }
        path.keys.push_back(PathKey{std::move(*name), std::move(*value)});
    } while (reader.Take(L','));
    return reader.AtEnd();
}

// Checks the namespace names; the path learns only whether it has any.
bool ParseNamespaces(std::wstring_view text, PathData& path) {
    if (text.empty()) {
        return true;
    }
    std::size_t start = 0;
    for (;;) {
        std::size_t end = start;
        while (end < text.size() && !IsSeparator(text[end])) {
            ++end;
        }
        if (!IsNamespaceName(text.substr(start, end - start))) {
            return false;
        }
        if (end == text.size()) {
            path.hasNamespace = true;
            return true;
        }
        start = end + 1;
    }
}

bool HasImpliedKey(const PathData& path) {
    return path.keys.size() == 1 && path.keys[0].name.empty();
}

}  // namespace

bool Parse(std::wstring_view text, ULONG mode, PathData& path) {
    path = PathData{};
    std::wstring_view rest = text;
    if (rest.size() >= 2 && IsSeparator(rest[0]) && IsSeparator(rest[1])) {
        rest.remove_prefix(2);
        std::size_t end = 0;
        while (end < rest.size() && !IsSeparator(rest[end]) && rest[end] != L':' &&
               rest[end] != L'"') {
            ++end;
        }
        if (end == 0 || (end < rest.size() && !IsSeparator(rest[end]))) {
            return false;
        }
        path.hasServer = true;
        path.server = rest.substr(0, end);
        if (end < rest.size()) {
            rest.remove_prefix(end + 1);
            if (rest.empty()) {
                return false;  // a separator after the server, but no namespace
            }
        } else {
            rest = std::wstring_view();
        }
    } else if (!rest.empty() && IsSeparator(rest[0])) {
        return false;
    }
    std::wstring_view namespaces;
    std::wstring_view relative;
    const std::size_t colon = FindOutsideQuotes(rest, L':');
    if (colon != std::wstring_view::npos) {
        namespaces = rest.substr(0, colon);
        relative = rest.substr(colon + 1);
        if (namespaces.empty() || relative.empty()) {
            return false;
        }
    } else if (path.hasServer || FindOutsideQuotes(rest, L'\\', true) != std::wstring_view::npos ||
               ((mode & WBEMPATH_TREAT_SINGLE_IDENT_AS_NS) != 0 && IsIdentifier(rest))) {
        namespaces = rest;
    } else {
        relative = rest;
    }
    if (!ParseNamespaces(namespaces, path)) {
        return false;
    }
    return relative.empty() || ParseRelative(relative, path);
}

ULONGLONG PathInfo(const PathData& path) {
    ULONGLONG info = 0;
    const bool local = !path.hasServer || path.server == L".";
    info |= local ? WBEMPATH_INFO_ANON_LOCAL_MACHINE : WBEMPATH_INFO_HAS_MACHINE_NAME;
    if (path.hasServer) {
        info |= WBEMPATH_INFO_PATH_HAD_SERVER;
    }
    if (path.className.empty()) {
        return info | WBEMPATH_INFO_SERVER_NAMESPACE_ONLY;
    }
    info |= WBEMPATH_INFO_V2_COMPLIANT | WBEMPATH_INFO_CIM_COMPLIANT;
    if (path.singleton) {
        return info | WBEMPATH_INFO_IS_INST_REF | WBEMPATH_INFO_IS_SINGLETON |
               WBEMPATH_INFO_CONTAINS_SINGLETON;
    }
    if (path.keys.empty()) {
        return info | WBEMPATH_INFO_IS_CLASS_REF;
    }
    return info | WBEMPATH_INFO_IS_INST_REF |
           (HasImpliedKey(path) ? static_cast<ULONGLONG>(WBEMPATH_INFO_HAS_IMPLIED_KEY) : 0);
}

}  // namespace pwwbempath
