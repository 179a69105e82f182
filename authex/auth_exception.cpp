#include "authex/auth_exception.h"

#include "authex/policy_reader.h"
#include "authex/policy_text.h"
#include "pw/events.h"
#include "pw/scoped_lock.h"
#include "pw/stack_files.h"
#include "pw/stack_layout.h"
#include "log/trace_log.h"

#include <algorithm>
#include <utility>
#include <sstream>
#include <streambuf>
#include <new>

namespace {

StoreSlot g_defaultSlot;
CriticalSection g_instanceLock;

}  // namespace

int CSingletonAuthExceptionImpl::EffectiveRoleSet(std::uint32_t mask) {
    if ((mask & ROLE_ADMIN) != 0) {
        return ROLE_ADMIN;
    }
    if ((mask & ROLE_POWERUSER) != 0) {
        return ROLE_POWERUSER | ROLE_ADMIN;
    }
    if ((mask & ROLE_USER) != 0) {
        return ROLE_USER | ROLE_POWERUSER | ROLE_ADMIN;
    }
    return 0;
}

bool CSingletonAuthExceptionImpl::Refuses(int requiredRole, int effectiveSet) {
    return requiredRole != 0 && (requiredRole & effectiveSet) == requiredRole;
}

namespace {

// A token less a leading four-character "__" marker, as validation drops it. A shorter marker
// cannot be dropped; the token is then looked up whole.
std::string_view TokenSuffix(std::string_view token) {
    return token.size() >= 4 && token.substr(0, 2) == "__" ? token.substr(4) : token;
}

}  // namespace

namespace {

// Where a syntax error stopped the reading of the process's own store, for its event.
struct ErrorPlace : CSingletonAuthExceptionImpl::PolicyListener {
    int line = 0;
    int column = 0;
    void SyntaxErrorAt(const CSingletonAuthExceptionImpl::SyntaxError& error) override {
        line = error.line;
        column = error.column;
    }
};

}  // namespace

CSingletonAuthExceptionImpl::CSingletonAuthExceptionImpl(ReaderStreams streams) {
    TraceLog("Inside  CSingletonAuthExceptionImpl::CSingletonAuthExceptionImpl() \n");
    pw::stack::AnchoredPath file;
    if (const std::optional<std::string> root = pw::stack::RootInstallPathOrReport()) {
        file = {*root, pw::stack::kExclusionFile};
    }
    const std::string path = file.Full();
    ErrorPlace place;
    m_listener = &place;
    const ReadResult read = Read(file, streams);
    m_listener = nullptr;
    // A store that refuses everyone, or allows what the rest of a broken file may refuse:
    // an administrator must know.
    if (!path.empty() && !read.refusal.empty()) {
        pw::events::Report(pw::events::Event::kPolicyUnreadable, {path, read.refusal});
    } else if (!read.accepted && fileOpened && place.line > 0) {
        ReportBrokenFile(path, read.text, place.line, place.column);
    }
}

CSingletonAuthExceptionImpl::PolicyFile CSingletonAuthExceptionImpl::ReadPolicyFile(
    const std::string& path, PolicyListener* listener, ReaderStreams streams) {
    return ReadChecked(nullptr, &path, listener, streams);
}

CSingletonAuthExceptionImpl::PolicyFile CSingletonAuthExceptionImpl::ReadPolicy(
    std::istream& in, PolicyListener* listener, ReaderStreams streams) {
    return ReadChecked(&in, nullptr, listener, streams);
}

CSingletonAuthExceptionImpl::PolicyFile CSingletonAuthExceptionImpl::ReadChecked(
    std::istream* in, const std::string* path, PolicyListener* listener, ReaderStreams streams) {
    PolicyFile policy;
    policy.store.reset(new CSingletonAuthExceptionImpl(Unread{}));
    CSingletonAuthExceptionImpl& store = *policy.store;
    // A listener hears the parser's message; nothing else is wanted of the copies. (A stream
    // without a buffer would not do: the scanner falls back to standard output for it.)
    struct Discard : std::streambuf {
        int overflow(int c) override { return traits_type::not_eof(c); }
    } discardBuffer;
    std::ostream discard(&discardBuffer);
    if (listener != nullptr) {
        streams.out = &discard;
    }
    store.m_listener = listener;
    try {
        policy.accepted = path != nullptr
                              ? store.Read(pw::stack::AtOwnFolder(*path), streams).accepted
                              : store.Parse(*in, streams);
    } catch (...) {
        store.m_listener = nullptr;
        throw;
    }
    store.m_listener = nullptr;
    return policy;
}

void CSingletonAuthExceptionImpl::NoteSyntaxError(SyntaxError error) {
    if (m_listener != nullptr) {
        m_listener->SyntaxErrorAt(error);
    }
}

void CSingletonAuthExceptionImpl::ReportBrokenFile(const std::string& path, const std::string& text,
                                                   int line, int column) const {
    // The commands the entries after the error name are allowed to every role now; a few
    // are named, the rest counted.
    constexpr std::size_t kNamed = 20;
    const std::vector<std::string> allowed =
        CommandsNamedFrom(text, ElementAtError(text, line, column));
    std::string names;
    for (std::size_t i = 0; i < allowed.size() && i < kNamed; ++i) {
        names += (i == 0 ? "" : ", ") + allowed[i];
    }
    if (allowed.size() > kNamed) {
        names += " and " + std::to_string(allowed.size() - kNamed) + " more";
    }
    pw::events::Report(pw::events::Event::kPolicySyntaxError,
                       {path, std::to_string(line) + ":" + std::to_string(column),
                        names.empty() ? "(none named)" : names});
}

CSingletonAuthExceptionImpl::ReadResult CSingletonAuthExceptionImpl::Read(
    const pw::stack::AnchoredPath& where, ReaderStreams streams) {
    const std::string path = where.Full();
    TraceLog("Opening file %s\n", path.c_str());
    // Read whole and as bytes: the scanner sees every byte as written (a text-mode read on
    // Windows would end at a 0x1A byte and fold CRLF pairs). Only a regular file of bounded
    // size is read, opened without blocking; anything else at the path (a folder, FIFO,
    // device, socket, or a file over the limit) is refused like a file that cannot be opened,
    // with a line saying why.
    pw::stack::FileContent file;
    if (!where.relative.empty()) {
        file = pw::stack::ReadRegularFile(where, pw::stack::kExclusionFileLimit);
    } else {
        file.refusal = "cannot be opened";
    }
    ReadResult result;
    if (file.content) {
        TraceLog("File opened Successfully \n");
        result.text = std::move(*file.content);
    } else {
        if (!path.empty() && file.refusal != "cannot be opened") {
            TraceLog("Exclusion file refused: it %s\n", file.refusal.c_str());
        }
        TraceLog("File open Failed \n");
        fileOpened = false;
        result.refusal = file.refusal;
    }
    // A file that was not read reads as empty input: the parse reports it and records nothing.
    std::istringstream in(result.text);
    result.accepted = Parse(in, streams);
    return result;
}

bool CSingletonAuthExceptionImpl::Parse(std::istream& in, ReaderStreams streams) {
    PolicyReader reader(in, streams, *this);
    // The store knows the reader for the length of the parse only.
    struct ReaderInUse {
        const PolicyReader*& slot;
        ~ReaderInUse() { slot = nullptr; }
    } inUse{m_reader = &reader};
    try {
        return reader.Parse();
    } catch (const yy::ScanInputFailed&) {
        // Input that could not be read is refused like a file that could not be opened: the
        // entries read before the failure would allow what the rest may refuse.
        fileOpened = false;
        roleTable.clear();
        keyLengths.clear();
        return false;
    }
}

StoreSlot& CSingletonAuthExceptionImpl::DefaultSlot() noexcept {
    return g_defaultSlot;
}

CSingletonAuthExceptionImpl* CSingletonAuthExceptionImpl::GetInstance() {
    return GetInstance(g_defaultSlot);
}

CSingletonAuthExceptionImpl* CSingletonAuthExceptionImpl::GetInstance(StoreSlot& store) {
    std::atomic<CSingletonAuthExceptionImpl*>& slot = store.instance;
    CSingletonAuthExceptionImpl* instance = slot.load(std::memory_order_acquire);
    if (instance != nullptr) {
        return instance;
    }
    ScopedLock lock(g_instanceLock);
    if (!lock.IsLocked()) {
        TraceLog("CSingletonAuthExceptionImpl::GetInstance() - Failed to synchronize\n");
        return nullptr;
    }
    instance = slot.load(std::memory_order_relaxed);
    if (instance == nullptr) {
        try {
            instance = new CSingletonAuthExceptionImpl(store.streams);
        } catch (const std::bad_alloc&) {
            // Nothing is kept: this request is refused and the next one reads the file again.
            TraceLog("CSingletonAuthExceptionImpl::GetInstance() - Out of memory\n");
            return nullptr;
        }
        slot.store(instance, std::memory_order_release);
    }
    return instance;
}

void CSingletonAuthExceptionImpl::DestroyInstance() {
    DestroyInstance(g_defaultSlot);
}

void CSingletonAuthExceptionImpl::DestroyInstance(StoreSlot& slot) {
    ScopedLock lock(g_instanceLock);
    if (!lock.IsLocked()) {
        TraceLog("CSingletonAuthExceptionImpl::DestroyInstance() - Failed to synchronize\n");
        return;
    }
    delete slot.instance.exchange(nullptr, std::memory_order_acq_rel);
}

CSingletonAuthExceptionImpl::Decision CSingletonAuthExceptionImpl::Decide(
    const std::string& command, const pw::TokenList& tokens, std::uint32_t mask,
    KeyObserver* observer) const {
    using Rule = Decision::Rule;
    const int effectiveSet = EffectiveRoleSet(mask);
    if (!fileOpened) {
        return Decision{false, Rule::kFileNotOpened, {}, 0, effectiveSet};
    }
    if (mask == TRUE_ADMIN_MASK) {
        return Decision{true, Rule::kTrueAdministrator, {}, 0, effectiveSet};
    }
    if (effectiveSet == 0) {
        return Decision{false, Rule::kNoRole, {}, 0, effectiveSet};
    }
    if (const int role = LookupRole(command); Refuses(role, effectiveSet)) {
        return Decision{false, Rule::kCommandKey, command, role, effectiveSet};
    }
    // A key longer than every key of the table cannot match, and the trace line shows no more
    // than kTraceKeyLimit characters of it: no key is built longer than both, so that the
    // decision costs time linear in the command line whatever its shape (a long command with
    // many tokens would otherwise be copied once per token).
    const std::size_t limit = std::max(longestKey, kTraceKeyLimit);
    const std::string_view shown = std::string_view(command).substr(0, limit);
    std::string key;
    for (const std::string_view token : tokens) {
        const std::string_view suffix = TokenSuffix(token);
        key.assign(shown).append(suffix.substr(0, limit - shown.size()));
        const bool mayMatch = command.size() + suffix.size() <= longestKey;
        const int required = mayMatch ? LookupRole(key) : 0;
        if (observer != nullptr) {
            observer->Looked(key, required, effectiveSet);
        }
        if (Refuses(required, effectiveSet)) {
            return Decision{false, Rule::kTokenKey, std::move(key), required, effectiveSet};
        }
    }
    return Decision{true, Rule::kNoEntry, {}, 0, effectiveSet};
}

bool CSingletonAuthExceptionImpl::IsAuthorized(const std::string& command,
                                               const pw::TokenList& tokens,
                                               const std::uint32_t& rightsMask) const {
    TraceLog("Insude CSingletonAuthExceptionImpl::IsAuthorized() \n");
    TraceLog("Received USER Role = %d\n", static_cast<int>(rightsMask));
    struct TraceKeys : KeyObserver {
        void Looked(const std::string& key, int required, int effectiveSet) override {
            TraceLog(" KEY  = %s -- REQ ROLE = %d & ACTUAL ROLE = %d\n", key.c_str(), required,
                     effectiveSet);
        }
    } traceKeys;
    const Decision decision = Decide(command, tokens, rightsMask, &traceKeys);
    switch (decision.rule) {
        case Decision::Rule::kFileNotOpened:
            TraceLog(" Returning FALSE (File Open Failed) -- Access Denied\n ");
            break;
        case Decision::Rule::kTrueAdministrator:
            TraceLog(" Returning TRUE (True Admin) -- Access Granted\n ");
            break;
        case Decision::Rule::kTokenKey:
            TraceLog(" Returning FALSE -- Access Denied\n ");
            break;
        case Decision::Rule::kNoEntry:
            TraceLog(" Returning TRUE -- Access Granted\n ");
            break;
        case Decision::Rule::kNoRole:
        case Decision::Rule::kCommandKey:
            break;
    }
    return decision.allowed;
}

int CSingletonAuthExceptionImpl::HandleTag(int kind, std::string value) {
    switch (kind) {
        case TAG_ADMIN_START:
            TraceLog("Inside admin tag....... ROLE = %d\n", ROLE_ADMIN);
            currentRole = ROLE_ADMIN;
            break;
        case TAG_POWERUSER_START:
            currentRole = ROLE_POWERUSER;
            break;
        case TAG_USER_START:
            currentRole = ROLE_USER;
            break;
        case TAG_COMMAND_START:
            commandHasParams = false;
            currentCommand = std::move(value);
            break;
        case TAG_PARAM_START:
            commandHasParams = true;
            currentParamKey = currentCommand + value;
            break;
        case TAG_COMMAND_END:
            if (!currentCommand.empty() && !commandHasParams) {
                TraceLog("Inside Close Cmd tag: %s Role %d \n", currentCommand.c_str(),
                         currentRole);
                StoreRole(currentCommand, currentRole);
                NoteEntry(currentCommand, "");
            }
            currentCommand.clear();
            break;
        case TAG_PARAM_END:
            if (!currentParamKey.empty()) {
                StoreRole(currentParamKey, currentRole);
                NoteEntry(currentCommand, currentParamKey.substr(currentCommand.size()));
                currentParamKey.clear();
            }
            break;
        case TAG_COMMAND_SINGLE:
            if (!value.empty()) {
                StoreRole(value, currentRole);
                NoteEntry(value, "");
            }
            break;
        case TAG_PARAM_SINGLE:
            commandHasParams = true;
            currentParamKey = currentCommand + value;
            if (!currentParamKey.empty()) {
                TraceLog("Inside PARAM tag single: %s role %d\n", currentParamKey.c_str(),
                         currentRole);
                StoreRole(currentParamKey, currentRole);
                NoteEntry(currentCommand, value);
                currentParamKey.clear();
            }
            break;
        default:
            TraceLog("Not a valid tag\n");
            return -1;
    }
    return 0;
}

int CSingletonAuthExceptionImpl::LookupRole(const std::string& key) const {
    if (key.size() >= keyLengths.size() || !keyLengths[key.size()]) {
        return 0;
    }
    const auto found = roleTable.find(key);
    return found == roleTable.end() ? 0 : found->second;
}

void CSingletonAuthExceptionImpl::NoteEntry(const std::string& command,
                                            const std::string& parameter) {
    if (m_listener != nullptr) {
        m_listener->EntryRead(PolicyEntry{command, parameter, currentRole});
    }
}

void CSingletonAuthExceptionImpl::StoreRole(const std::string& key, int role) {
    if (m_listener != nullptr) {
        const auto earlier = roleTable.find(key);
        if (earlier != roleTable.end()) {
            m_listener->KeyGivenTwice(DuplicateKey{key, earlier->second, role,
                                                   m_reader == nullptr ? 0 : m_reader->Line()});
        }
    }
    roleTable.insert_or_assign(key, role);
    longestKey = std::max(longestKey, key.size());
    if (keyLengths.size() <= key.size()) {
        keyLengths.resize(key.size() + 1);
    }
    keyLengths[key.size()] = true;
}

void AuthExProcessAttach() {
    g_instanceLock.Create();
}

void AuthExProcessDetach() {
    CSingletonAuthExceptionImpl::DestroyInstance();
    g_instanceLock.Destroy();
}
