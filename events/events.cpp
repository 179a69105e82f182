#include "pw/events.h"

#include "pw/text.h"

#include <windows.h>

#include <cstdio>
#include <mutex>
#include <new>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace pw::events {

namespace {

// A condition: the event and its first string.
using Key = std::pair<std::uint16_t, std::string>;

struct Queued {
    Key key;
    bool error;
    std::vector<std::wstring> strings;
};

struct Condition {
    bool queued = false;
    bool everSent = false;
    ULONGLONG sentAt = 0;  // GetTickCount64 at the last report that reached the log
};

// At most this many reports wait; a condition met while the queue is full is tried again at
// its next occurrence.
constexpr std::size_t kQueueLimit = 32;

struct State {
    std::mutex lock;
    std::map<Key, Condition> conditions;
    std::vector<Queued> queue;
};

// Made on first use and never destroyed: a report from a thread or a destructor that runs while
// the process exits still finds it, and a provider load that follows another keeps what the
// one before reported. Its storage is the library's own, so an unloaded library leaves
// nothing behind once ProcessDetach has given back what the containers hold.
State& Shared() {
    alignas(State) static unsigned char storage[sizeof(State)];
    static State* const state = new (storage) State;
    return *state;
}

std::string Cut(std::string_view text) {
    // A character of the code page takes at most 4 bytes: enough for kStringLimit characters.
    return std::string(text.substr(0, 4 * kStringLimit));
}

std::wstring Wide(std::string_view text) {
    std::wstring wide = pw::Widen(Cut(text), CP_ACP).value_or(L"?");
    if (wide.size() > kStringLimit) {
        // Not between the two halves of a surrogate pair (wchar_t is UTF-16 on Windows).
        std::size_t size = kStringLimit;
        if (sizeof(wchar_t) == 2 && wide[size - 1] >= 0xD800 && wide[size - 1] <= 0xDBFF) {
            --size;
        }
        wide.resize(size);
    }
    return wide;
}

#if defined(_WIN32)
// pipeway, which loads the provider into its own process, names a file in "PIPEWAY_EVENTLOG"
// to show what a run reported; the WMI service names none. Each event is appended as one
// line, as the POSIX platform writes them: source, ID, type, then the strings, tab-separated,
// with tab, line feed and backslash escaped.
void Mirror(std::uint16_t id, bool error, const std::vector<std::wstring>& strings) {
    // The process's own variable: the one pipeway sets is not in the C runtime's copy.
    char file[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("PIPEWAY_EVENTLOG", file, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    std::string line = "WinPipeway\t";
    line += std::to_string(id);
    line += error ? "\terror" : "\twarning";
    for (const std::wstring& wide : strings) {
        line += '\t';
        for (const char c : pw::Narrow(wide, CP_ACP).value_or("?")) {
            line += c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\\' ? "\\\\" : std::string(1, c);
        }
    }
    line += '\n';
    if (std::FILE* out = std::fopen(file, "ab")) {
        std::fputs(line.c_str(), out);
        std::fclose(out);
    }
}
#endif

}  // namespace

std::uint32_t MessageId(Event event) {
    // The severity in the top two bits: 3 error, 2 warning.
    return (IsError(event) ? 0xC0000000u : 0x80000000u) | static_cast<std::uint16_t>(event);
}

void Report(Event event, std::initializer_list<std::string_view> strings) noexcept {
    try {
        const auto id = static_cast<std::uint16_t>(event);
        Queued report{{id, Cut(strings.size() == 0 ? std::string_view() : *strings.begin())},
                      IsError(event),
                      {}};
        for (const std::string_view text : strings) {
            report.strings.push_back(Wide(text));
        }
        State& state = Shared();
        const std::lock_guard<std::mutex> lock(state.lock);
        // Read under the lock: a send that finished meanwhile stamped its time before this.
        const ULONGLONG now = GetTickCount64();
        Condition& condition = state.conditions[report.key];
        if (condition.queued || state.queue.size() >= kQueueLimit ||
            (condition.everSent &&
             (now < condition.sentAt || now - condition.sentAt < kRepeatAfterMilliseconds))) {
            return;
        }
        state.queue.push_back(std::move(report));
        condition.queued = true;
    } catch (...) {
        // Out of memory: this occurrence goes unreported; the next one tries again.
    }
}

namespace {

// One report, as the calling thread is; whether the log took it.
bool Send(const Queued& report) {
    std::vector<LPCWSTR> pointers;
    for (const std::wstring& text : report.strings) {
        pointers.push_back(text.c_str());
    }
    // Registered for each report: events are rare, and no handle outlives the call.
    HANDLE source = RegisterEventSourceW(nullptr, kSource);
    if (source == nullptr) {
        return false;
    }
    const bool sent =
        ReportEventW(source, report.error ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE, 0,
                     MessageId(static_cast<Event>(report.key.first)), nullptr,
                     static_cast<WORD>(pointers.size()), 0, pointers.data(), nullptr) != FALSE;
    DeregisterEventSource(source);
#if defined(_WIN32)
    if (sent) {
        Mirror(report.key.first, report.error, report.strings);
    }
#endif
    return sent;
}

}  // namespace

void ProcessDetach() noexcept {
    State& state = Shared();
    // When the process ends, a thread stopped while it held the lock never lets go of it: the
    // memory then stays with the process, which is ending anyway.
    if (!state.lock.try_lock()) {
        return;
    }
    state.conditions.clear();
    std::vector<Queued>().swap(state.queue);
    state.lock.unlock();
}

void SendQueued() noexcept {
    State& state = Shared();
    std::vector<Queued> batch;
    try {
        const std::lock_guard<std::mutex> lock(state.lock);
        batch.swap(state.queue);
    } catch (...) {
        return;  // the lock cannot be taken: the reports wait for the next call
    }
    for (const Queued& report : batch) {
        bool sent = false;
        try {
            sent = Send(report);
        } catch (...) {
            // Out of memory: as a report the log refused.
        }
        const ULONGLONG now = GetTickCount64();
        try {
            const std::lock_guard<std::mutex> lock(state.lock);
            const auto found = state.conditions.find(report.key);
            if (found != state.conditions.end()) {
                found->second.queued = false;
                if (sent) {
                    found->second.everSent = true;
                    found->second.sentAt = now;
                }
            }
        } catch (...) {
            // The lock cannot be taken: the condition stays queued, and is not reported again.
        }
    }
}

}  // namespace pw::events
