// The registry, kept in one text file that the environment variable "PIPEWAY_REGISTRY" names.
//
// Every call reads the file anew and every change rewrites it (to a temporary file that then
// replaces it), under one lock for the process, so a person or a test may read or edit it
// between calls. The format:
//
//   # Lines starting with '#' and blank lines are ignored.
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\Product]   a key, by its full path
//   @=sz:"text"                                    the key's default (unnamed) value
//   "Name"=sz:"text"                               REG_SZ, stored with one terminating NUL
//   "Path"=expand_sz:"%ProgramFiles%\\x"           REG_EXPAND_SZ, likewise
//   "Count"=dword:0000002a                         REG_DWORD of 4 bytes
//   "Large"=qword:0000000100000000                 REG_QWORD of 8 bytes
//   "Other"=hex(7):61,00,00                        anything else: type number, bytes in hex
//
// Quoted texts escape '\' and '"' with a backslash and write tab, line feed and carriage
// return as \t, \n, \r and other control bytes as \xHH; other bytes stand as they are (UTF-8).
// A string whose bytes hold no terminating NUL, or a NUL inside, is written in the hex form.
// Hives are HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_USERS (the short
// forms HKCR, HKCU, HKLM and HKU are read too). Every key has a section of its own, also one
// without values; keys and values compare without regard to case.
#include "platform/src/no_throw.h"
#include "platform/src/fault.h"
#include "platform/src/text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr char kRegistryVariable[] = "PIPEWAY_REGISTRY";

// ---------------------------------------------------------------------------------------------
// The data.

struct Value {
    std::string name;  // UTF-8; empty for the default value
    DWORD type = REG_NONE;
    std::string data;  // the bytes as the ANSI calls see them
};

struct Key {
    std::string name;
    std::vector<Value> values;
    std::map<std::wstring, Key> subkeys;  // by folded name, so in order without regard to case
};

std::wstring Fold(std::string_view name) {
    return pwplatform::FoldCase(pwplatform::WideFromUtf8(name));
}

struct Hive {
    HKEY handle;
    const char* name;
    const char* shortName;
};

const Hive kHives[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "HKCR"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "HKCU"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HKLM"},
    {HKEY_USERS, "HKEY_USERS", "HKU"},
};

const Hive* FindHive(std::string_view name) {
    const std::wstring folded = Fold(name);
    for (const Hive& hive : kHives) {
        if (folded == Fold(hive.name) || folded == Fold(hive.shortName)) {
            return &hive;
        }
    }
    return nullptr;
}

const Hive* FindHive(HKEY handle) {
    for (const Hive& hive : kHives) {
        if (hive.handle == handle) {
            return &hive;
        }
    }
    return nullptr;
}

// The whole registry: one root key per hive, under a nameless top.
using Path = std::vector<std::string>;  // hive name first

Key* Find(Key& top, const Path& path) {
    Key* key = &top;
    for (const std::string& part : path) {
        auto it = key->subkeys.find(Fold(part));
        if (it == key->subkeys.end()) {
            return nullptr;
        }
        key = &it->second;
    }
    return key;
}

Key& Make(Key& top, const Path& path) {
    Key* key = &top;
    for (const std::string& part : path) {
        Key& child = key->subkeys[Fold(part)];
        if (child.name.empty()) {
            child.name = part;
        }
        key = &child;
    }
    return *key;
}

Value* FindValue(Key& key, std::string_view name) {
    const std::wstring folded = Fold(name);
    for (Value& value : key.values) {
        if (Fold(value.name) == folded) {
            return &value;
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// The file.

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Hex(std::string_view bytes) {
    std::string out;
    char digits[3];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(bytes[i]));
        out += (i == 0 ? "" : ",");
        out += digits;
    }
    return out;
}

std::uint64_t LittleEndian(std::string_view bytes) {
    std::uint64_t number = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) {
        number = (number << 8) | static_cast<unsigned char>(bytes[i]);
    }
    return number;
}

std::string FormatData(const Value& value) {
    const std::string_view data = value.data;
    const bool isText = value.type == REG_SZ || value.type == REG_EXPAND_SZ;
    if (isText && !data.empty() && data.find('\0') == data.size() - 1) {
        return std::string(value.type == REG_SZ ? "sz:" : "expand_sz:") +
               Quote(data.substr(0, data.size() - 1));
    }
    char number[24];
    if (value.type == REG_DWORD && data.size() == 4) {
        std::snprintf(number, sizeof number, "%08llx",
                      static_cast<unsigned long long>(LittleEndian(data)));
        return std::string("dword:") + number;
    }
    if (value.type == REG_QWORD && data.size() == 8) {
        std::snprintf(number, sizeof number, "%016llx",
                      static_cast<unsigned long long>(LittleEndian(data)));
        return std::string("qword:") + number;
    }
    return "hex(" + std::to_string(value.type) + "):" + Hex(data);
}

void FormatKey(std::ostream& out, const Key& key, const std::string& path, bool isHive) {
    if (!isHive || !key.values.empty()) {
        out << '[' << path << "]\n";
        for (const Value& value : key.values) {
            out << (value.name.empty() ? std::string("@") : Quote(value.name)) << '='
                << FormatData(value) << '\n';
        }
        out << '\n';
    }
    for (const auto& [folded, subkey] : key.subkeys) {
        FormatKey(out, subkey, path + "\\" + subkey.name, false);
    }
}

std::string Format(const Key& top) {
    std::ostringstream out;
    out << "# Registry of the POSIX platform layer (see platform/src/registry.cpp).\n\n";
    for (const Hive& hive : kHives) {
        auto it = top.subkeys.find(Fold(hive.name));
        if (it != top.subkeys.end()) {
            FormatKey(out, it->second, hive.name, true);
        }
    }
    return out.str();
}

// Reads a quoted text at the start of `line`, removing it from there.
std::optional<std::string> Unquote(std::string_view& line) {
    if (line.empty() || line[0] != '"') {
        return std::nullopt;
    }
    std::string text;
    for (std::size_t i = 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            line.remove_prefix(i + 1);
            return text;
        }
        if (c != '\\') {
            text += c;
            continue;
        }
        if (++i >= line.size()) {
            return std::nullopt;
        }
        switch (line[i]) {
            case 't':
                text += '\t';
                break;
            case 'n':
                text += '\n';
                break;
            case 'r':
                text += '\r';
                break;
            case 'x': {
                if (i + 2 >= line.size()) {
                    return std::nullopt;
                }
                const std::string digits(line.substr(i + 1, 2));
                char* end = nullptr;
                const unsigned long byte = std::strtoul(digits.c_str(), &end, 16);
                if (end != digits.c_str() + 2) {
                    return std::nullopt;
                }
                text += static_cast<char>(byte);
                i += 2;
                break;
            }
            default:
                text += line[i];
        }
    }
    return std::nullopt;
}

std::optional<std::uint64_t> ParseHexNumber(std::string_view digits, std::size_t count) {
    if (digits.size() != count) {
        return std::nullopt;
    }
    std::uint64_t number = 0;
    for (const char c : digits) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) {
            return std::nullopt;
        }
        number = (number << 4) | static_cast<unsigned>(digit);
    }
    return number;
}

std::string Bytes(std::uint64_t number, std::size_t count) {
    std::string bytes;
    for (std::size_t i = 0; i < count; ++i) {
        bytes += static_cast<char>((number >> (8 * i)) & 0xFF);
    }
    return bytes;
}

std::optional<Value> ParseValue(std::string_view line) {
    Value value;
    if (!line.empty() && line[0] == '@') {
        line.remove_prefix(1);
    } else {
        std::optional<std::string> name = Unquote(line);
        if (!name) {
            return std::nullopt;
        }
        value.name = *name;
    }
    const std::size_t colon = line.find(':');
    if (line.empty() || line[0] != '=' || colon == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view tag = line.substr(1, colon - 1);
    std::string_view data = line.substr(colon + 1);
    if (tag == "sz" || tag == "expand_sz") {
        std::optional<std::string> text = Unquote(data);
        if (!text || !data.empty()) {
            return std::nullopt;
        }
        value.type = tag == "sz" ? REG_SZ : REG_EXPAND_SZ;
        value.data = *text + '\0';
    } else if (tag == "dword" || tag == "qword") {
        const std::size_t size = tag == "dword" ? 4 : 8;
        const std::optional<std::uint64_t> number = ParseHexNumber(data, 2 * size);
        if (!number) {
            return std::nullopt;
        }
        value.type = tag == "dword" ? REG_DWORD : REG_QWORD;
        value.data = Bytes(*number, size);
    } else if (tag.size() > 5 && tag.substr(0, 4) == "hex(" && tag.back() == ')') {
        const std::string typeText(tag.substr(4, tag.size() - 5));
        char* end = nullptr;
        value.type = static_cast<DWORD>(std::strtoul(typeText.c_str(), &end, 10));
        if (typeText.empty() || *end != '\0') {
            return std::nullopt;
        }
        while (!data.empty()) {
            const std::optional<std::uint64_t> byte = ParseHexNumber(data.substr(0, 2), 2);
            if (!byte || (data.size() > 2 && data[2] != ',')) {
                return std::nullopt;
            }
            value.data += static_cast<char>(*byte);
            data.remove_prefix(data.size() > 2 ? 3 : 2);
        }
    } else {
        return std::nullopt;
    }
    return value;
}

std::optional<Path> ParseSection(std::string_view line) {
    const std::size_t close = line.rfind(']');
    if (close == std::string_view::npos || close < 2) {
        return std::nullopt;
    }
    std::string_view text = line.substr(1, close - 1);
    Path path;
    while (!text.empty()) {
        const std::size_t slash = text.find('\\');
        path.emplace_back(text.substr(0, slash));
        text = slash == std::string_view::npos ? std::string_view() : text.substr(slash + 1);
        if (path.back().empty()) {
            return std::nullopt;
        }
    }
    const Hive* hive = path.empty() ? nullptr : FindHive(path[0]);
    if (hive == nullptr) {
        return std::nullopt;
    }
    path[0] = hive->name;
    return path;
}

// Parses the file's text; nullopt when some line is not of the format.
std::optional<Key> Parse(const std::string& text) {
    Key top;
    Key* current = nullptr;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            const std::optional<Path> path = ParseSection(line);
            if (!path) {
                return std::nullopt;
            }
            current = &Make(top, *path);
            continue;
        }
        std::optional<Value> value = ParseValue(line);
        if (!value || current == nullptr) {
            return std::nullopt;
        }
        if (Value* existing = FindValue(*current, value->name)) {
            *existing = std::move(*value);
        } else {
            current->values.push_back(std::move(*value));
        }
    }
    return top;
}

// ---------------------------------------------------------------------------------------------
// The store: the file read and written under the process's lock.

std::mutex g_lock;

std::optional<fs::path> StoreFile() {
    const char* name = std::getenv(kRegistryVariable);
    if (name == nullptr || *name == '\0') {
        return std::nullopt;
    }
    return fs::path(name);
}

// Loads the registry; ERROR_SUCCESS, or ERROR_BADDB for a file not in the format.
LONG Load(Key& top) {
    top = Key{};
    const std::optional<fs::path> file = StoreFile();
    if (!file) {
        return ERROR_SUCCESS;
    }
    std::ifstream in(*file, std::ios::binary);
    if (!in) {
        // No file yet is an empty registry; a file that is there but cannot be opened is not,
        // or the next write would save an empty one over it.
        std::error_code missing;
        return fs::exists(*file, missing) || missing ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
    }
    // Read whole or not at all: a stream insertion would swallow a failed allocation and hand
    // on part of the file, and the next save would then drop the rest of the registry.
    std::error_code error;
    const std::uintmax_t size = fs::file_size(*file, error);
    if (error) {
        return ERROR_BADDB;
    }
    std::string content(static_cast<std::size_t>(size), '\0');
    if (!in.read(content.data(), static_cast<std::streamsize>(size)) ||
        static_cast<std::uintmax_t>(in.gcount()) != size) {
        return ERROR_BADDB;
    }
    std::optional<Key> parsed = Parse(content);
    if (!parsed) {
        return ERROR_BADDB;
    }
    top = std::move(*parsed);
    return ERROR_SUCCESS;
}

LONG Save(const Key& top) {
    const std::optional<fs::path> file = StoreFile();
    if (!file) {
        return ERROR_ACCESS_DENIED;
    }
    fs::path temporary = *file;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << Format(top);
        if (!out.flush()) {
            return ERROR_CANTWRITE;
        }
    }
    std::error_code error;
    fs::rename(temporary, *file, error);
    return error ? ERROR_CANTWRITE : ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------------------------
// Handles.

struct OpenKey {
    Path path;
    REGSAM access;
};

std::set<const OpenKey*> g_openKeys;

HKEY NewHandle(const Path& path, REGSAM access) {
    auto key = std::make_unique<OpenKey>(OpenKey{path, access});
    g_openKeys.insert(key.get());
    return reinterpret_cast<HKEY>(key.release());
}

// Appends the parts of a subkey name to `path`. Windows refuses a name that starts with '\'.
bool AppendSubkey(Path& path, const char* subKey) {
    if (subKey == nullptr) {
        return true;
    }
    std::string_view text(subKey);
    if (!text.empty() && text[0] == '\\') {
        return false;
    }
    while (!text.empty()) {
        const std::size_t slash = text.find('\\');
        if (slash != 0) {
            path.emplace_back(text.substr(0, slash));
        }
        text = slash == std::string_view::npos ? std::string_view() : text.substr(slash + 1);
    }
    return true;
}

// What every call on an open key starts with: the lock taken, the registry loaded, the handle's
// key found (a handle neither a hive nor open gives ERROR_INVALID_HANDLE, a key deleted since
// it was opened ERROR_KEY_DELETED).
struct Session {
    std::lock_guard<std::mutex> guard{g_lock};
    Key top;
    Path path;
    REGSAM access = 0;
    Key* key = nullptr;
};

LONG Begin(Session& session, HKEY handle) {
    const auto* open = reinterpret_cast<const OpenKey*>(handle);
    if (const Hive* hive = FindHive(handle)) {
        session.path = {hive->name};
        session.access = KEY_ALL_ACCESS;
    } else if (g_openKeys.count(open) != 0) {
        session.path = open->path;
        session.access = open->access;
    } else {
        return ERROR_INVALID_HANDLE;
    }
    const LONG loaded = Load(session.top);
    if (loaded != ERROR_SUCCESS) {
        return loaded;
    }
    session.key = session.path.size() == 1 ? &Make(session.top, session.path)
                                           : Find(session.top, session.path);
    return session.key == nullptr ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------------------------
// The operations.

LONG Close(HKEY hKey) {
    if (FindHive(hKey) != nullptr) {
        return ERROR_SUCCESS;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    const auto* key = reinterpret_cast<const OpenKey*>(hKey);
    if (g_openKeys.erase(key) == 0) {
        return ERROR_INVALID_HANDLE;
    }
    delete key;
    return ERROR_SUCCESS;
}

// Begin, for an operation that needs `right` on the key: ERROR_ACCESS_DENIED without it.
LONG BeginWith(Session& session, HKEY hKey, REGSAM right) {
    const LONG result = Begin(session, hKey);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    return (session.access & right) == 0 ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

// What opening and creating a key begin with: the session on hKey and the path of hKey's
// subKey; ERROR_SUCCESS, or the error.
LONG BeginAt(Session& session, HKEY hKey, const char* subKey, Path& path) {
    const LONG result = Begin(session, hKey);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    path = session.path;
    return AppendSubkey(path, subKey) ? ERROR_SUCCESS : ERROR_BAD_PATHNAME;
}

LONG Open(HKEY hKey, const char* subKey, REGSAM samDesired, PHKEY phkResult) {
    if (pwplatform::FaultHere(PW_FAULT_REGISTRY)) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    Session session;
    Path path;
    if (const LONG result = BeginAt(session, hKey, subKey, path); result != ERROR_SUCCESS) {
        return result;
    }
    if (path.size() > 1 && Find(session.top, path) == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    *phkResult = NewHandle(path, samDesired & ~static_cast<REGSAM>(KEY_WOW64_RES));
    return ERROR_SUCCESS;
}

LONG Create(HKEY hKey, const char* subKey, REGSAM samDesired, PHKEY phkResult,
            LPDWORD disposition) {
    if (pwplatform::FaultHere(PW_FAULT_REGISTRY)) {
        return ERROR_ACCESS_DENIED;
    }
    if (phkResult == nullptr || subKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    Session session;
    Path path;
    if (const LONG result = BeginAt(session, hKey, subKey, path); result != ERROR_SUCCESS) {
        return result;
    }
    const bool exists = path.size() == 1 || Find(session.top, path) != nullptr;
    if (!exists) {
        if ((session.access & KEY_CREATE_SUB_KEY) == 0) {
            return ERROR_ACCESS_DENIED;
        }
        Make(session.top, path);
        if (const LONG result = Save(session.top); result != ERROR_SUCCESS) {
            return result;
        }
    }
    if (disposition != nullptr) {
        *disposition = exists ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    }
    *phkResult = NewHandle(path, samDesired & ~static_cast<REGSAM>(KEY_WOW64_RES));
    return ERROR_SUCCESS;
}

LONG QueryValue(HKEY hKey, const char* name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                LPDWORD size) {
    if (pwplatform::FaultHere(PW_FAULT_REGISTRY)) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (reserved != nullptr || (data != nullptr && size == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    Session session;
    if (const LONG result = BeginWith(session, hKey, KEY_QUERY_VALUE); result != ERROR_SUCCESS) {
        return result;
    }
    const Value* value = FindValue(*session.key, name == nullptr ? "" : name);
    if (value == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (type != nullptr) {
        *type = value->type;
    }
    if (size == nullptr) {
        return ERROR_SUCCESS;
    }
    const auto needed = static_cast<DWORD>(value->data.size());
    if (data != nullptr && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data != nullptr) {
        std::memcpy(data, value->data.data(), value->data.size());
    }
    *size = needed;
    return ERROR_SUCCESS;
}

LONG SetValue(HKEY hKey, const char* name, DWORD type, const BYTE* data, DWORD size) {
    if (pwplatform::FaultHere(PW_FAULT_REGISTRY)) {
        return ERROR_ACCESS_DENIED;
    }
    if (data == nullptr && size != 0) {
        return ERROR_NOACCESS;
    }
    std::string bytes(reinterpret_cast<const char*>(data), data == nullptr ? 0 : size);
    Session session;
    if (const LONG result = BeginWith(session, hKey, KEY_SET_VALUE); result != ERROR_SUCCESS) {
        return result;
    }
    const std::string valueName = name == nullptr ? "" : name;
    if (Value* existing = FindValue(*session.key, valueName)) {
        existing->type = type;
        existing->data = std::move(bytes);
    } else {
        session.key->values.push_back(Value{valueName, type, std::move(bytes)});
    }
    return Save(session.top);
}

LONG DeleteValue(HKEY hKey, const char* name) {
    Session session;
    if (const LONG result = BeginWith(session, hKey, KEY_SET_VALUE); result != ERROR_SUCCESS) {
        return result;
    }
    std::vector<Value>& values = session.key->values;
    const Value* value = FindValue(*session.key, name == nullptr ? "" : name);
    if (value == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    values.erase(values.begin() + (value - values.data()));
    return Save(session.top);
}

LONG DeleteTree(HKEY hKey, const char* subKey) {
    if (pwplatform::FaultHere(PW_FAULT_REGISTRY)) {
        return ERROR_ACCESS_DENIED;
    }
    Session session;
    Path path;
    if (const LONG result = BeginAt(session, hKey, subKey, path); result != ERROR_SUCCESS) {
        return result;
    }
    Key* key = path.size() == 1 ? session.key : Find(session.top, path);
    if (key == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (subKey == nullptr || *subKey == '\0') {
        // The key itself stays; what it holds goes.
        key->values.clear();
        key->subkeys.clear();
    } else if (path.size() == 1) {
        return ERROR_ACCESS_DENIED;
    } else {
        Find(session.top, Path(path.begin(), path.end() - 1))->subkeys.erase(Fold(path.back()));
    }
    return Save(session.top);
}

}  // namespace

// Each call runs through NoThrow: a failed allocation fails the call as Windows would.
extern "C" {

LONG WINAPI RegCloseKey(HKEY hKey) {
    return pwplatform::NoThrow<LONG>(ERROR_NOT_ENOUGH_MEMORY, 0, [&] { return Close(hKey); });
}

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
    return pwplatform::NoThrow<LONG>(ERROR_NOT_ENOUGH_MEMORY, 0,
                                     [&] { return Open(hKey, lpSubKey, samDesired, phkResult); });
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired,
                            LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    return pwplatform::NoThrow<LONG>(ERROR_NOT_ENOUGH_MEMORY, 0, [&] {
        return Create(hKey, lpSubKey, samDesired, phkResult, lpdwDisposition);
    });
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
    return pwplatform::NoThrow<LONG>(ERROR_NOT_ENOUGH_MEMORY, 0, [&] {
        return QueryValue(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
    });
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, CONST BYTE* lpData,
                           DWORD cbData) {
    return pwplatform::NoThrow<LONG>(ERROR_NOT_ENOUGH_MEMORY, 0, [&] {
        return SetValue(hKey, lpValueName, dwType, lpData, cbData);
    });
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    return pwplatform::NoThrow<LONG>(ERROR_NOT_ENOUGH_MEMORY, 0,
                                     [&] { return DeleteValue(hKey, lpValueName); });
}

LONG WINAPI RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey) {
    return pwplatform::NoThrow<LONG>(ERROR_NOT_ENOUGH_MEMORY, 0,
                                     [&] { return DeleteTree(hKey, lpSubKey); });
}

}  // extern "C"
