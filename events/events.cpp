#include "pw/events.h"

#include "pw/text.h"

#include <windows.h>

#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace pw::events {

namespace {

// The conditions reported since the provider loaded. Constant-initialised lock; the set is
// made on first use.
std::mutex g_lock;

std::set<std::pair<std::uint16_t, std::string>>& Reported() {
    static std::set<std::pair<std::uint16_t, std::string>> reported;
    return reported;
}

#if defined(_WIN32)
// pipeway, which loads the provider into its own process, names a file in "PIPEWAY_EVENTLOG"
// to show what a run reported; the WMI service names none. Each event is appended as one
// line, as the POSIX platform writes them: source, ID, type, then the strings, tab-separated,
// with tab, line feed and backslash escaped.
void Mirror(std::uint16_t id, bool error, std::initializer_list<std::string_view> strings) {
    // The process's own variable: the one pipeway sets is not in the C runtime's copy.
    char file[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("PIPEWAY_EVENTLOG", file, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    std::string line = "WinPipeway\t";
    line += std::to_string(id);
    line += error ? "\terror" : "\twarning";
    for (const std::string_view text : strings) {
        line += '\t';
        for (const char c : text) {
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

bool IsError(Event event) {
    return event != Event::kPolicySyntaxError && event != Event::kTraceLogFull;
}

std::uint32_t MessageId(Event event) {
    // The severity in the top two bits: 3 error, 2 warning.
    return (IsError(event) ? 0xC0000000u : 0x80000000u) | static_cast<std::uint16_t>(event);
}

void Report(Event event, std::initializer_list<std::string_view> strings) noexcept {
    try {
        {
            const std::lock_guard<std::mutex> lock(g_lock);
            const std::string subject(strings.size() == 0 ? std::string_view() : *strings.begin());
            if (!Reported().emplace(static_cast<std::uint16_t>(event), subject).second) {
                return;
            }
        }
#if defined(_WIN32)
        Mirror(static_cast<std::uint16_t>(event), IsError(event), strings);
#endif
        std::vector<std::wstring> wide;
        for (const std::string_view text : strings) {
            wide.push_back(pw::Widen(text, CP_ACP).value_or(L"?"));
        }
        std::vector<LPCWSTR> pointers;
        for (const std::wstring& text : wide) {
            pointers.push_back(text.c_str());
        }
        // Registered for each report: events are rare, and no handle outlives the call.
        HANDLE source = RegisterEventSourceW(nullptr, kSource);
        if (source == nullptr) {
            return;
        }
        ReportEventW(source, IsError(event) ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE, 0,
                     MessageId(event), nullptr, static_cast<WORD>(pointers.size()), 0,
                     pointers.data(), nullptr);
        DeregisterEventSource(source);
    } catch (...) {
        // Out of memory: the event is lost, and nothing else.
    }
}

void NewProviderLoad() noexcept {
    try {
        const std::lock_guard<std::mutex> lock(g_lock);
        Reported().clear();
    } catch (...) {
        // The lock cannot be taken: what was reported stays reported.
    }
}

}  // namespace pw::events
