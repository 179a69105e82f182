#include "wbem_path.h"

#include <wbemidl.h>
#include <wmiutils.h>

#include "pw/hresult.h"
#include "pw/unknown.h"

#include <atomic>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pwwbempath {

namespace {

constexpr HRESULT kInvalidParameter = static_cast<HRESULT>(WBEM_E_INVALID_PARAMETER);
constexpr HRESULT kBufferTooSmall = static_cast<HRESULT>(WBEM_E_BUFFER_TOO_SMALL);
constexpr HRESULT kNotAvailable = static_cast<HRESULT>(WBEM_E_NOT_AVAILABLE);
constexpr HRESULT kOutOfMemory = static_cast<HRESULT>(WBEM_E_OUT_OF_MEMORY);

std::atomic<long> g_liveObjects{0};
std::atomic<long> g_serverLocks{0};

// ---------------------------------------------------------------------------------------------
// The parsed path.

enum class KeyKind { kString, kSigned, kUnsigned, kBoolean };

struct KeyValue {
    KeyKind kind = KeyKind::kString;
    std::wstring text;             // kString
    LONGLONG number = 0;           // kSigned
    ULONGLONG unsignedNumber = 0;  // kUnsigned (beyond the signed 64-bit range)
    bool flag = false;             // kBoolean
};

struct PathKey {
    std::wstring name;  // empty for the implied key of "Class=value"
    KeyValue value;
};

struct PathData {
    std::wstring original;
    bool hasServer = false;
    std::wstring server;
    std::vector<std::wstring> namespaces;
    std::wstring className;
    std::vector<PathKey> keys;
    bool singleton = false;
};

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

bool IsIdentifier(std::wstring_view text) {
    if (text.empty() || !IsLetter(text[0])) {
        return false;
    }
    for (const wchar_t c : text) {
        if (!IsLetter(c) && !IsDigit(c)) {
            return false;
        }
    }
    return true;
}

// Namespace names may also start with a digit.
bool IsNamespaceName(std::wstring_view text) {
    if (text.empty()) {
        return false;
    }
    for (const wchar_t c : text) {
        if (!IsLetter(c) && !IsDigit(c)) {
            return false;
        }
    }
    return true;
}

wchar_t FoldAscii(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
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
        const std::wstring_view name = text.substr(start, end - start);
        if (!IsNamespaceName(name)) {
            return false;
        }
        path.namespaces.emplace_back(name);
        if (end == text.size()) {
            return true;
        }
        start = end + 1;
    }
}

// Parses an object path. The empty text is the empty path.
bool Parse(std::wstring_view text, ULONG mode, PathData& path) {
    path = PathData{};
    path.original = text;
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

// ---------------------------------------------------------------------------------------------
// Texts.

std::wstring ValueText(const KeyValue& value, bool quoted) {
    switch (value.kind) {
        case KeyKind::kSigned:
            return std::to_wstring(value.number);
        case KeyKind::kUnsigned:
            return std::to_wstring(value.unsignedNumber);
        case KeyKind::kBoolean:
            return value.flag ? L"TRUE" : L"FALSE";
        case KeyKind::kString:
            break;
    }
    if (!quoted) {
        return value.text;
    }
    std::wstring text = L"\"";
    for (const wchar_t c : value.text) {
        if (c == L'"' || c == L'\\') {
            text += L'\\';
        }
        text += c;
    }
    return text + L"\"";
}

std::wstring KeysText(const PathData& path) {
    if (path.singleton) {
        return L"@";
    }
    std::wstring text;
    for (const PathKey& key : path.keys) {
        if (!text.empty()) {
            text += L',';
        }
        if (!key.name.empty()) {
            text += key.name + L"=";
        }
        text += ValueText(key.value, true);
    }
    return text;
}

bool HasImpliedKey(const PathData& path) {
    return path.keys.size() == 1 && path.keys[0].name.empty();
}

std::wstring RelativeText(const PathData& path) {
    if (path.className.empty()) {
        return L"";
    }
    if (path.singleton || HasImpliedKey(path)) {
        return path.className + L"=" + KeysText(path);
    }
    return path.keys.empty() ? path.className : path.className + L"." + KeysText(path);
}

std::wstring NamespaceText(const PathData& path) {
    std::wstring text;
    for (const std::wstring& name : path.namespaces) {
        text += (text.empty() ? L"" : L"\\") + name;
    }
    return text;
}

std::wstring ServerText(const PathData& path) {
    return L"\\\\" + (path.hasServer ? path.server : std::wstring(L"."));
}

// The text for GetText's flags. Without flags: namespace and relative path, no server (as
// Windows gives it); a path with neither server nor namespace gets no "\\." prefix with
// WBEMPATH_GET_SERVER_TOO, since it is not tied to a machine.
std::wstring PathText(const PathData& path, LONG flags) {
    const std::wstring relative = RelativeText(path);
    const std::wstring namespaces = NamespaceText(path);
    if ((flags & WBEMPATH_GET_ORIGINAL) != 0) {
        return path.original;
    }
    if ((flags & WBEMPATH_GET_RELATIVE_ONLY) != 0) {
        return relative;
    }
    if ((flags & WBEMPATH_GET_NAMESPACE_ONLY) != 0) {
        return namespaces;
    }
    if ((flags & WBEMPATH_GET_SERVER_AND_NAMESPACE_ONLY) != 0) {
        return ServerText(path) + (namespaces.empty() ? L"" : L"\\" + namespaces);
    }
    std::wstring text = namespaces;
    if (!relative.empty()) {
        text += (text.empty() ? L"" : L":") + relative;
    }
    if ((flags & WBEMPATH_GET_SERVER_TOO) != 0 && (path.hasServer || !namespaces.empty())) {
        text = ServerText(path) + (namespaces.empty() ? L":" : L"\\") + text;
    }
    return text;
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

// Hands a text out with the size protocol of the path calls (sizes in characters, terminator
// included): no buffer asks for the size; a buffer too small gives WBEM_E_BUFFER_TOO_SMALL.
HRESULT DeliverText(const std::wstring& text, ULONG* size, LPWSTR buffer) {
    if (size == nullptr) {
        return kInvalidParameter;
    }
    const auto needed = static_cast<ULONG>(text.size() + 1);
    if (buffer == nullptr) {
        *size = needed;
        return S_OK;
    }
    if (*size < needed) {
        *size = needed;
        return kBufferTooSmall;
    }
    std::memcpy(buffer, text.c_str(), needed * sizeof(wchar_t));
    *size = needed;
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Key values as the key list hands them out.

ULONG CimTypeOf(const KeyValue& value) {
    switch (value.kind) {
        case KeyKind::kString:
            return CIM_STRING;
        case KeyKind::kSigned:
            return value.number >= std::numeric_limits<LONG>::min() &&
                           value.number <= std::numeric_limits<LONG>::max()
                       ? CIM_SINT32
                       : CIM_SINT64;
        case KeyKind::kUnsigned:
            return CIM_UINT64;
        case KeyKind::kBoolean:
            return CIM_BOOLEAN;
    }
    return CIM_EMPTY;
}

HRESULT ToVariant(const KeyValue& value, VARIANT* variant) {
    VariantInit(variant);
    switch (CimTypeOf(value)) {
        case CIM_STRING:
            variant->bstrVal =
                SysAllocStringLen(value.text.data(), static_cast<UINT>(value.text.size()));
            if (variant->bstrVal == nullptr) {
                return kOutOfMemory;
            }
            variant->vt = VT_BSTR;
            break;
        case CIM_SINT32:
            variant->vt = VT_I4;
            variant->lVal = static_cast<LONG>(value.number);
            break;
        case CIM_SINT64:
            variant->vt = VT_I8;
            variant->llVal = value.number;
            break;
        case CIM_UINT64:
            variant->vt = VT_UI8;
            variant->ullVal = value.unsignedNumber;
            break;
        default:
            variant->vt = VT_BOOL;
            variant->boolVal = value.flag ? VARIANT_TRUE : VARIANT_FALSE;
            break;
    }
    return S_OK;
}

std::optional<KeyValue> FromVariant(const VARIANT& variant) {
    KeyValue value;
    value.kind = KeyKind::kSigned;
    switch (variant.vt) {
        case VT_BSTR:
            value.kind = KeyKind::kString;
            value.text.assign(variant.bstrVal == nullptr ? L"" : variant.bstrVal,
                              SysStringLen(variant.bstrVal));
            break;
        case VT_BOOL:
            value.kind = KeyKind::kBoolean;
            value.flag = variant.boolVal != VARIANT_FALSE;
            break;
        case VT_I1:
            value.number = variant.cVal;
            break;
        case VT_UI1:
            value.number = variant.bVal;
            break;
        case VT_I2:
            value.number = variant.iVal;
            break;
        case VT_UI2:
            value.number = variant.uiVal;
            break;
        case VT_I4:
        case VT_INT:
            value.number = variant.lVal;
            break;
        case VT_UI4:
        case VT_UINT:
            value.number = variant.ulVal;
            break;
        case VT_I8:
            value.number = variant.llVal;
            break;
        case VT_UI8:
            if (variant.ullVal > static_cast<ULONGLONG>(std::numeric_limits<LONGLONG>::max())) {
                value.kind = KeyKind::kUnsigned;
                value.unsignedNumber = variant.ullVal;
            } else {
                value.number = static_cast<LONGLONG>(variant.ullVal);
            }
            break;
        default:
            return std::nullopt;
    }
    return value;
}

// A value given to SetKey in its binary form for a CIM type.
std::optional<KeyValue> FromBinary(ULONG cimType, const void* data) {
    VARIANT variant;
    VariantInit(&variant);
    switch (cimType) {
        case CIM_STRING:
        case CIM_REFERENCE:
        case CIM_DATETIME: {
            KeyValue value;
            value.text = static_cast<const wchar_t*>(data);
            return value;
        }
        case CIM_SINT8:
            variant.vt = VT_I1;
            std::memcpy(&variant.cVal, data, sizeof variant.cVal);
            break;
        case CIM_UINT8:
            variant.vt = VT_UI1;
            std::memcpy(&variant.bVal, data, sizeof variant.bVal);
            break;
        case CIM_SINT16:
            variant.vt = VT_I2;
            std::memcpy(&variant.iVal, data, sizeof variant.iVal);
            break;
        case CIM_UINT16:
        case CIM_CHAR16:
            variant.vt = VT_UI2;
            std::memcpy(&variant.uiVal, data, sizeof variant.uiVal);
            break;
        case CIM_SINT32:
            variant.vt = VT_I4;
            std::memcpy(&variant.lVal, data, sizeof variant.lVal);
            break;
        case CIM_UINT32:
            variant.vt = VT_UI4;
            std::memcpy(&variant.ulVal, data, sizeof variant.ulVal);
            break;
        case CIM_SINT64:
            variant.vt = VT_I8;
            std::memcpy(&variant.llVal, data, sizeof variant.llVal);
            break;
        case CIM_UINT64:
            variant.vt = VT_UI8;
            std::memcpy(&variant.ullVal, data, sizeof variant.ullVal);
            break;
        case CIM_BOOLEAN:
            variant.vt = VT_BOOL;
            std::memcpy(&variant.boolVal, data, sizeof variant.boolVal);
            break;
        default:
            return std::nullopt;
    }
    return FromVariant(variant);
}

// GetKey's value buffer: text (WBEMPATH_TEXT, or quoted with WBEMPATH_QUOTEDTEXT) or the
// binary form (strings as text, numbers in their CIM size, booleans as VARIANT_BOOL).
std::vector<unsigned char> ValueBytes(const KeyValue& value, ULONG flags) {
    std::vector<unsigned char> bytes;
    const auto append = [&bytes](const void* data, std::size_t size) {
        const auto* begin = static_cast<const unsigned char*>(data);
        bytes.insert(bytes.end(), begin, begin + size);
    };
    if ((flags & (WBEMPATH_TEXT | WBEMPATH_QUOTEDTEXT)) != 0 || value.kind == KeyKind::kString) {
        const std::wstring text = ValueText(value, (flags & WBEMPATH_QUOTEDTEXT) != 0);
        append(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    } else if (value.kind == KeyKind::kBoolean) {
        const VARIANT_BOOL flag = value.flag ? VARIANT_TRUE : VARIANT_FALSE;
        append(&flag, sizeof flag);
    } else if (value.kind == KeyKind::kUnsigned) {
        append(&value.unsignedNumber, sizeof value.unsignedNumber);
    } else if (CimTypeOf(value) == CIM_SINT32) {
        const auto number = static_cast<LONG>(value.number);
        append(&number, sizeof number);
    } else {
        append(&value.number, sizeof value.number);
    }
    return bytes;
}

// ---------------------------------------------------------------------------------------------
// The COM objects.

class WbemPath;

class WbemPathKeyList final : public IWbemPathKeyList {
  public:
    explicit WbemPathKeyList(WbemPath* owner);
    ~WbemPathKeyList();
    WbemPathKeyList(const WbemPathKeyList&) = delete;
    WbemPathKeyList& operator=(const WbemPathKeyList&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT WINAPI GetCount(ULONG* puKeyCount) override;
    HRESULT WINAPI SetKey(LPCWSTR wszName, ULONG uFlags, ULONG uCimType, LPVOID pKeyVal) override;
    HRESULT WINAPI SetKey2(LPCWSTR wszName, ULONG uFlags, ULONG uCimType,
                           VARIANT* pKeyVal) override;
    HRESULT WINAPI GetKey(ULONG uKeyIx, ULONG uFlags, ULONG* puNameBufSize, LPWSTR pszKeyName,
                          ULONG* puKeyValBufSize, LPVOID pKeyVal,
                          ULONG* puApparentCimType) override;
    HRESULT WINAPI GetKey2(ULONG uKeyIx, ULONG uFlags, ULONG* puNameBufSize, LPWSTR pszKeyName,
                           VARIANT* pKeyValue, ULONG* puApparentCimType) override;
    HRESULT WINAPI RemoveKey(LPCWSTR wszName, ULONG uFlags) override;
    HRESULT WINAPI RemoveAllKeys(ULONG uFlags) override;
    HRESULT WINAPI MakeSingleton(boolean bSet) override;
    HRESULT WINAPI GetInfo(ULONG uRequestedInfo, ULONGLONG* puResponse) override;
    HRESULT WINAPI GetText(LONG lFlags, ULONG* puBuffLength, LPWSTR pszText) override;

  private:
    HRESULT PutKey(LPCWSTR name, std::optional<KeyValue> value);
    // The name part of GetKey and GetKey2: a null buffer only asks for the size.
    static HRESULT DeliverName(const std::wstring& name, ULONG* size, LPWSTR buffer);

    std::atomic<ULONG> m_refs{1};
    WbemPath* m_owner;
};

class WbemPath final : public IWbemPath {
  public:
    WbemPath() { ++g_liveObjects; }
    ~WbemPath() { --g_liveObjects; }
    WbemPath(const WbemPath&) = delete;
    WbemPath& operator=(const WbemPath&) = delete;

    // The key list works on the path's data under the path's lock.
    std::mutex& Lock() { return m_lock; }
    PathData& Data() { return m_data; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        return pw::QueryInterfaceFrom(riid, ppvObject,
                                      {{&IID_IWbemPath, static_cast<IWbemPath*>(this)}});
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG refs = --m_refs;
        if (refs == 0) {
            delete this;
        }
        return refs;
    }

    // Modes other than the three ACCEPT ones are refused; ACCEPT_RELATIVE alone refuses a
    // server, ACCEPT_ABSOLUTE alone wants a server or a namespace. A path refused leaves the
    // object empty.
    HRESULT WINAPI SetText(ULONG uMode, LPCWSTR pszPath) override {
        return pw::Guarded(pw::kWbemFailures, [&] {
            std::lock_guard<std::mutex> guard(m_lock);
            constexpr ULONG kAccept = WBEMPATH_CREATE_ACCEPT_RELATIVE |
                                      WBEMPATH_CREATE_ACCEPT_ABSOLUTE | WBEMPATH_CREATE_ACCEPT_ALL;
            PathData parsed;
            if (pszPath == nullptr || (uMode & kAccept) == 0 || !Parse(pszPath, uMode, parsed)) {
                m_data = PathData{};
                return kInvalidParameter;
            }
            const bool absolute = parsed.hasServer || !parsed.namespaces.empty();
            if ((uMode & WBEMPATH_CREATE_ACCEPT_ALL) == 0 &&
                (((uMode & WBEMPATH_CREATE_ACCEPT_RELATIVE) == 0 && !absolute) ||
                 ((uMode & WBEMPATH_CREATE_ACCEPT_ABSOLUTE) == 0 && parsed.hasServer))) {
                m_data = PathData{};
                return kInvalidParameter;
            }
            m_data = std::move(parsed);
            return S_OK;
        });
    }

    HRESULT WINAPI GetText(LONG lFlags, ULONG* puBuffLength, LPWSTR pszText) override {
        return pw::Guarded(pw::kWbemFailures, [&] {
            std::lock_guard<std::mutex> guard(m_lock);
            return DeliverText(PathText(m_data, lFlags), puBuffLength, pszText);
        });
    }

    HRESULT WINAPI GetInfo(ULONG uRequestedInfo, ULONGLONG* puResponse) override {
        if (uRequestedInfo != 0 || puResponse == nullptr) {
            return kInvalidParameter;
        }
        std::lock_guard<std::mutex> guard(m_lock);
        *puResponse = PathInfo(m_data);
        return S_OK;
    }

    // A null or empty name removes the server.
    HRESULT WINAPI SetServer(LPCWSTR Name) override {
        return pw::Guarded(pw::kWbemFailures, [&] {
            std::lock_guard<std::mutex> guard(m_lock);
            m_data.hasServer = Name != nullptr && *Name != L'\0';
            m_data.server = m_data.hasServer ? Name : L"";
            return S_OK;
        });
    }

    // A path without a server gives WBEM_E_NOT_AVAILABLE.
    HRESULT WINAPI GetServer(ULONG* puNameBufLength, LPWSTR pName) override {
        return pw::Guarded(pw::kWbemFailures, [&] {
            std::lock_guard<std::mutex> guard(m_lock);
            if (puNameBufLength == nullptr) {
                return kInvalidParameter;
            }
            return m_data.hasServer ? DeliverText(m_data.server, puNameBufLength, pName)
                                    : kNotAvailable;
        });
    }

    HRESULT WINAPI GetNamespaceCount(ULONG* puCount) override {
        if (puCount == nullptr) {
            return kInvalidParameter;
        }
        std::lock_guard<std::mutex> guard(m_lock);
        *puCount = static_cast<ULONG>(m_data.namespaces.size());
        return S_OK;
    }

    // Inserts the name before the one at uIndex (uIndex == count appends).
    HRESULT WINAPI SetNamespaceAt(ULONG uIndex, LPCWSTR pszName) override {
        return pw::Guarded(pw::kWbemFailures, [&] {
            std::lock_guard<std::mutex> guard(m_lock);
            if (pszName == nullptr || !IsNamespaceName(pszName) ||
                uIndex > m_data.namespaces.size()) {
                return kInvalidParameter;
            }
            m_data.namespaces.insert(m_data.namespaces.begin() + uIndex, pszName);
            return S_OK;
        });
    }

    HRESULT WINAPI GetNamespaceAt(ULONG uIndex, ULONG* puNameBufLength, LPWSTR pName) override {
        return pw::Guarded(pw::kWbemFailures, [&] {
            std::lock_guard<std::mutex> guard(m_lock);
            if (uIndex >= m_data.namespaces.size()) {
                return kInvalidParameter;
            }
            return DeliverText(m_data.namespaces[uIndex], puNameBufLength, pName);
        });
    }

    HRESULT WINAPI RemoveNamespaceAt(ULONG uIndex) override {
        std::lock_guard<std::mutex> guard(m_lock);
        if (uIndex >= m_data.namespaces.size()) {
            return kInvalidParameter;
        }
        m_data.namespaces.erase(m_data.namespaces.begin() + uIndex);
        return S_OK;
    }

    HRESULT WINAPI RemoveAllNamespaces(void) override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_data.namespaces.clear();
        return S_OK;
    }

    // Scopes (paths of the form "A.k=1/B.k=2") are not read; a path has none.
    HRESULT WINAPI GetScopeCount(ULONG* puCount) override {
        if (puCount == nullptr) {
            return kInvalidParameter;
        }
        *puCount = 0;
        return S_OK;
    }
    HRESULT WINAPI SetScope(ULONG, LPWSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI SetScopeFromText(ULONG, LPWSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI GetScope(ULONG, ULONG*, LPWSTR, IWbemPathKeyList**) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI GetScopeAsText(ULONG, ULONG*, LPWSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI RemoveScope(ULONG) override { return E_NOTIMPL; }
    HRESULT WINAPI RemoveAllScopes(void) override { return S_OK; }

    HRESULT WINAPI SetClassName(LPCWSTR Name) override {
        return pw::Guarded(pw::kWbemFailures, [&] {
            std::lock_guard<std::mutex> guard(m_lock);
            if (Name == nullptr || !IsIdentifier(Name)) {
                return kInvalidParameter;
            }
            m_data.className = Name;
            return S_OK;
        });
    }

    // Sizes count characters and the terminator. No buffer, or one too small, gives
    // WBEM_E_BUFFER_TOO_SMALL and the size needed; a path without a class gives
    // WBEM_E_INVALID_PARAMETER.
    HRESULT WINAPI GetClassName(ULONG* puBuffLength, LPWSTR pszName) override {
        return pw::Guarded(pw::kWbemFailures, [&] {
            std::lock_guard<std::mutex> guard(m_lock);
            if (puBuffLength == nullptr || m_data.className.empty()) {
                return kInvalidParameter;
            }
            const auto needed = static_cast<ULONG>(m_data.className.size() + 1);
            if (pszName == nullptr || *puBuffLength < needed) {
                *puBuffLength = needed;
                return kBufferTooSmall;
            }
            return DeliverText(m_data.className, puBuffLength, pszName);
        });
    }

    // Only an instance path has a key list (an empty one for a singleton); a class or
    // namespace path gives WBEM_E_NOT_AVAILABLE. The list is a view of this path: what it
    // changes, the path's text shows.
    HRESULT WINAPI GetKeyList(IWbemPathKeyList** pOut) override {
        return pw::Guarded(pw::kWbemFailures, [&] {
            if (pOut == nullptr) {
                return kInvalidParameter;
            }
            *pOut = nullptr;
            {
                std::lock_guard<std::mutex> guard(m_lock);
                if (m_data.className.empty() || (m_data.keys.empty() && !m_data.singleton)) {
                    return kNotAvailable;
                }
            }
            *pOut = new WbemPathKeyList(this);
            return S_OK;
        });
    }

    // A new class part: the class name, no keys.
    HRESULT WINAPI CreateClassPart(LONG lFlags, LPCWSTR Name) override {
        return pw::Guarded(pw::kWbemFailures, [&] {
            std::lock_guard<std::mutex> guard(m_lock);
            if (lFlags != 0 || Name == nullptr || !IsIdentifier(Name)) {
                return kInvalidParameter;
            }
            m_data.className = Name;
            m_data.keys.clear();
            m_data.singleton = false;
            return S_OK;
        });
    }

    HRESULT WINAPI DeleteClassPart(LONG lFlags) override {
        if (lFlags != 0) {
            return kInvalidParameter;
        }
        std::lock_guard<std::mutex> guard(m_lock);
        m_data.className.clear();
        m_data.keys.clear();
        m_data.singleton = false;
        return S_OK;
    }

    WINBOOL WINAPI IsRelative(LPWSTR wszMachine, LPWSTR wszNamespace) override {
        return IsRelativeOrChild(wszMachine, wszNamespace, 0) && SameNamespace(wszNamespace, false)
                   ? TRUE
                   : FALSE;
    }

    WINBOOL WINAPI IsRelativeOrChild(LPWSTR wszMachine, LPWSTR wszNamespace, LONG lFlags) override {
        if (lFlags != 0 || !IsLocal(wszMachine)) {
            return FALSE;
        }
        return SameNamespace(wszNamespace, true) ? TRUE : FALSE;
    }

    WINBOOL WINAPI IsLocal(LPCWSTR wszMachine) override {
        std::lock_guard<std::mutex> guard(m_lock);
        const bool local = !m_data.hasServer || m_data.server == L"." ||
                           (wszMachine != nullptr && EqualNoCase(m_data.server, wszMachine));
        return local ? TRUE : FALSE;
    }

    WINBOOL WINAPI IsSameClassName(LPCWSTR wszClass) override {
        std::lock_guard<std::mutex> guard(m_lock);
        return wszClass != nullptr && !m_data.className.empty() &&
                       EqualNoCase(m_data.className, wszClass)
                   ? TRUE
                   : FALSE;
    }

  private:
    // Whether the path's namespace is `name` (or, with orChild, lies below it); a path without
    // a namespace is relative to every one.
    bool SameNamespace(LPCWSTR name, bool orChild) {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_data.namespaces.empty()) {
            return true;
        }
        if (name == nullptr) {
            return false;
        }
        std::wstring wanted(name);
        for (wchar_t& c : wanted) {
            c = c == L'/' ? L'\\' : c;
        }
        const std::wstring own = NamespaceText(m_data);
        if (EqualNoCase(own, wanted)) {
            return true;
        }
        return orChild && own.size() > wanted.size() && own[wanted.size()] == L'\\' &&
               EqualNoCase(std::wstring_view(own).substr(0, wanted.size()), wanted);
    }

    std::atomic<ULONG> m_refs{1};
    std::mutex m_lock;
    PathData m_data;
};

WbemPathKeyList::WbemPathKeyList(WbemPath* owner) : m_owner(owner) {
    m_owner->AddRef();
    ++g_liveObjects;
}

WbemPathKeyList::~WbemPathKeyList() {
    m_owner->Release();
    --g_liveObjects;
}

HRESULT STDMETHODCALLTYPE WbemPathKeyList::QueryInterface(REFIID riid, void** ppvObject) {
    return pw::QueryInterfaceFrom(riid, ppvObject,
                                  {{&IID_IWbemPathKeyList, static_cast<IWbemPathKeyList*>(this)}});
}

ULONG STDMETHODCALLTYPE WbemPathKeyList::Release() {
    const ULONG refs = --m_refs;
    if (refs == 0) {
        delete this;
    }
    return refs;
}

HRESULT WINAPI WbemPathKeyList::GetCount(ULONG* puKeyCount) {
    if (puKeyCount == nullptr) {
        return kInvalidParameter;
    }
    std::lock_guard<std::mutex> guard(m_owner->Lock());
    *puKeyCount = static_cast<ULONG>(m_owner->Data().keys.size());
    return S_OK;
}

// Adds the key, or gives an existing key of that name (without regard to case) the new value.
HRESULT WbemPathKeyList::PutKey(LPCWSTR name, std::optional<KeyValue> value) {
    if (name == nullptr || !value || (*name != L'\0' && !IsIdentifier(name))) {
        return kInvalidParameter;
    }
    std::lock_guard<std::mutex> guard(m_owner->Lock());
    PathData& data = m_owner->Data();
    data.singleton = false;
    for (PathKey& key : data.keys) {
        if (EqualNoCase(key.name, name)) {
            key.value = std::move(*value);
            return S_OK;
        }
    }
    data.keys.push_back(PathKey{name, std::move(*value)});
    return S_OK;
}

HRESULT WINAPI WbemPathKeyList::SetKey(LPCWSTR wszName, ULONG uFlags, ULONG uCimType,
                                       LPVOID pKeyVal) {
    return pw::Guarded(pw::kWbemFailures, [&] {
        if (uFlags != 0 || pKeyVal == nullptr) {
            return kInvalidParameter;
        }
        return PutKey(wszName, FromBinary(uCimType, pKeyVal));
    });
}

HRESULT WINAPI WbemPathKeyList::SetKey2(LPCWSTR wszName, ULONG uFlags, ULONG uCimType,
                                        VARIANT* pKeyVal) {
    (void)uCimType;
    return pw::Guarded(pw::kWbemFailures, [&] {
        if (uFlags != 0 || pKeyVal == nullptr) {
            return kInvalidParameter;
        }
        return PutKey(wszName, FromVariant(*pKeyVal));
    });
}

HRESULT WbemPathKeyList::DeliverName(const std::wstring& name, ULONG* size, LPWSTR buffer) {
    return DeliverText(name, size, buffer);
}

// The name buffer follows the size protocol (no buffer: only the size, and the value is still
// handed out); the value buffer counts bytes.
HRESULT WINAPI WbemPathKeyList::GetKey(ULONG uKeyIx, ULONG uFlags, ULONG* puNameBufSize,
                                       LPWSTR pszKeyName, ULONG* puKeyValBufSize, LPVOID pKeyVal,
                                       ULONG* puApparentCimType) {
    return pw::Guarded(pw::kWbemFailures, [&] {
        std::lock_guard<std::mutex> guard(m_owner->Lock());
        const std::vector<PathKey>& keys = m_owner->Data().keys;
        if (uKeyIx >= keys.size() || puNameBufSize == nullptr || puKeyValBufSize == nullptr) {
            return kInvalidParameter;
        }
        const PathKey& key = keys[uKeyIx];
        const HRESULT named = DeliverName(key.name, puNameBufSize, pszKeyName);
        if (FAILED(named)) {
            return named;
        }
        const std::vector<unsigned char> bytes = ValueBytes(key.value, uFlags);
        const auto needed = static_cast<ULONG>(bytes.size());
        if (pKeyVal != nullptr && *puKeyValBufSize < needed) {
            *puKeyValBufSize = needed;
            return kBufferTooSmall;
        }
        if (pKeyVal != nullptr) {
            std::memcpy(pKeyVal, bytes.data(), bytes.size());
        }
        *puKeyValBufSize = needed;
        if (puApparentCimType != nullptr) {
            *puApparentCimType = CimTypeOf(key.value);
        }
        return S_OK;
    });
}

// The value comes as VT_BSTR (strings), VT_I4 (integers that fit), VT_I8 or VT_UI8 (beyond)
// or VT_BOOL, with its apparent CIM type.
HRESULT WINAPI WbemPathKeyList::GetKey2(ULONG uKeyIx, ULONG uFlags, ULONG* puNameBufSize,
                                        LPWSTR pszKeyName, VARIANT* pKeyValue,
                                        ULONG* puApparentCimType) {
    (void)uFlags;
    return pw::Guarded(pw::kWbemFailures, [&] {
        std::lock_guard<std::mutex> guard(m_owner->Lock());
        const std::vector<PathKey>& keys = m_owner->Data().keys;
        if (uKeyIx >= keys.size() || puNameBufSize == nullptr) {
            return kInvalidParameter;
        }
        const PathKey& key = keys[uKeyIx];
        const HRESULT named = DeliverName(key.name, puNameBufSize, pszKeyName);
        if (FAILED(named)) {
            return named;
        }
        if (pKeyValue != nullptr) {
            const HRESULT converted = ToVariant(key.value, pKeyValue);
            if (FAILED(converted)) {
                return converted;
            }
        }
        if (puApparentCimType != nullptr) {
            *puApparentCimType = CimTypeOf(key.value);
        }
        return S_OK;
    });
}

// A name the list does not hold gives WBEM_E_INVALID_PARAMETER.
HRESULT WINAPI WbemPathKeyList::RemoveKey(LPCWSTR wszName, ULONG uFlags) {
    if (wszName == nullptr || uFlags != 0) {
        return kInvalidParameter;
    }
    std::lock_guard<std::mutex> guard(m_owner->Lock());
    std::vector<PathKey>& keys = m_owner->Data().keys;
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        if (EqualNoCase(it->name, wszName)) {
            keys.erase(it);
            return S_OK;
        }
    }
    return kInvalidParameter;
}

HRESULT WINAPI WbemPathKeyList::RemoveAllKeys(ULONG uFlags) {
    if (uFlags != 0) {
        return kInvalidParameter;
    }
    std::lock_guard<std::mutex> guard(m_owner->Lock());
    m_owner->Data().keys.clear();
    return S_OK;
}

HRESULT WINAPI WbemPathKeyList::MakeSingleton(boolean bSet) {
    std::lock_guard<std::mutex> guard(m_owner->Lock());
    PathData& data = m_owner->Data();
    data.singleton = bSet != 0;
    if (data.singleton) {
        data.keys.clear();
    }
    return S_OK;
}

// Answers WBEMPATH_INFO_IS_SINGLETON and WBEMPATH_INFO_HAS_IMPLIED_KEY.
HRESULT WINAPI WbemPathKeyList::GetInfo(ULONG uRequestedInfo, ULONGLONG* puResponse) {
    if (uRequestedInfo != 0 || puResponse == nullptr) {
        return kInvalidParameter;
    }
    std::lock_guard<std::mutex> guard(m_owner->Lock());
    const PathData& data = m_owner->Data();
    *puResponse = (data.singleton ? static_cast<ULONGLONG>(WBEMPATH_INFO_IS_SINGLETON) : 0) |
                  (HasImpliedKey(data) ? static_cast<ULONGLONG>(WBEMPATH_INFO_HAS_IMPLIED_KEY) : 0);
    return S_OK;
}

// The key part of the path: "A=\"x\",B=5", "@" for a singleton, the value of an implied key.
HRESULT WINAPI WbemPathKeyList::GetText(LONG lFlags, ULONG* puBuffLength, LPWSTR pszText) {
    (void)lFlags;
    return pw::Guarded(pw::kWbemFailures, [&] {
        std::lock_guard<std::mutex> guard(m_owner->Lock());
        return DeliverText(KeysText(m_owner->Data()), puBuffLength, pszText);
    });
}

class WbemPathFactory final : public IClassFactory {
  public:
    WbemPathFactory() { ++g_liveObjects; }
    ~WbemPathFactory() { --g_liveObjects; }
    WbemPathFactory(const WbemPathFactory&) = delete;
    WbemPathFactory& operator=(const WbemPathFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        return pw::QueryInterfaceFrom(riid, ppvObject,
                                      {{&IID_IClassFactory, static_cast<IClassFactory*>(this)}});
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG refs = --m_refs;
        if (refs == 0) {
            delete this;
        }
        return refs;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                             void** ppvObject) override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        *ppvObject = nullptr;
        if (pUnkOuter != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        WbemPath* path = new (std::nothrow) WbemPath;
        if (path == nullptr) {
            return E_OUTOFMEMORY;
        }
        const HRESULT hr = path->QueryInterface(riid, ppvObject);
        path->Release();
        return hr;
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
        if (fLock) {
            ++g_serverLocks;
        } else {
            --g_serverLocks;
        }
        return S_OK;
    }

  private:
    std::atomic<ULONG> m_refs{1};
};

}  // namespace

HRESULT GetClassObject(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    WbemPathFactory* factory = new (std::nothrow) WbemPathFactory;
    if (factory == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

bool CanUnload() {
    return g_liveObjects.load() == 0 && g_serverLocks.load() <= 0;
}

}  // namespace pwwbempath
