// The conditions an administrator must act on, reported to the Windows Event Log under the
// source "WinPipeway" (on POSIX the stand-in sends them to syslog): a condition at most once
// in ten minutes per process, never once per request, since the log is shared and a flood of
// it is an attack of its own. Reporting never fails a request and never holds one up: a report
// is queued where the condition is met, often as the client and under a lock every request
// needs, and sent later by the provider as itself with no lock held. A report that the log
// refuses is tried again at the condition's next occurrence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace pw::events {

inline constexpr wchar_t kSource[] = L"WinPipeway";

enum class Severity { kWarning, kError };

// The events, from events/events.table (each its ID, its name here, its symbolic name in the
// message table, its severity and its message): the enum, the rows of kEvents.
enum class Event : std::uint16_t {
#define PW_EVENT(id, name, symbol, severity, text) name = id,
#include "pw/event_table.inc"
#undef PW_EVENT
};

struct EventInfo {
    Event event;
    std::string_view symbol;
    Severity severity;
    std::string_view text;
};

inline constexpr EventInfo kEvents[] = {
#define PW_EVENT(id, name, symbol, severity, text) {Event::name, symbol, Severity::severity, text},
#include "pw/event_table.inc"
#undef PW_EVENT
};

// The event's row of the table.
constexpr const EventInfo& InfoOf(Event event) {
    for (const EventInfo& info : kEvents) {
        if (info.event == event) {
            return info;
        }
    }
    return kEvents[0];  // not reached: every Event has its row
}

// Whether the event is an error (else a warning), and its full message ID, severity bits
// included, as the message table defines it and ReportEventW takes it.
constexpr bool IsError(Event event) {
    return InfoOf(event).severity == Severity::kError;
}
std::uint32_t MessageId(Event event);

// A condition is reported again once this long has passed since its last report.
inline constexpr unsigned long long kRepeatAfterMilliseconds = 10ull * 60 * 1000;
// Each insertion string is cut to this many characters.
inline constexpr std::size_t kStringLimit = 1024;

// Queues the event with its insertion strings, unless the same condition, the event with the
// same first string, waits in the queue already or was reported in the last ten minutes.
void Report(Event event, std::initializer_list<std::string_view> strings) noexcept;

// Sends the queued reports as whoever the calling thread is now: the provider calls it once an
// operation has reverted to its own identity and holds no lock. A report that fails leaves its
// condition unreported.
void SendQueued() noexcept;

// The library is unloaded: what the queue and the reported conditions hold is given back.
void ProcessDetach() noexcept;

}  // namespace pw::events
