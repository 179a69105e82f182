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

// Every event, once: its stable ID (the Event Viewer and Get-WinEvent show it; monitoring rules
// match it), its name here, its symbolic name in the message table (provider/events.mc, which
// windmc compiles into the provider's resources), its severity, and its message with the
// insertion strings %1, %2, %3. A test holds events.mc, the README's table and INSTALL.txt's
// list to this one.
// clang-format off
#define PW_EVENT_TABLE(EVENT) \
    EVENT(1001, kPolicyUnreadable, "PW_EVENT_POLICY_UNREADABLE", kError, \
          "The authorization exclusion file %1 cannot be read: it %2. Every caller is " \
          "refused, the true administrator too. Make it a readable regular file of at " \
          "most 4 MiB (pipeway policy install FILE checks and installs one); it is read " \
          "again at the next provider load.") \
    EVENT(1002, kPolicySyntaxError, "PW_EVENT_POLICY_SYNTAX_ERROR", kWarning, \
          "The authorization exclusion file %1 has a syntax error at line:column %2. The " \
          "entries before it are kept and the rest of the file is ignored, so these " \
          "commands are allowed to every role: %3. Run pipeway policy check on the file, " \
          "fix it, and replace it with pipeway policy install.") \
    EVENT(1003, kLibraryFolderMissing, "PW_EVENT_LIBRARY_FOLDER_MISSING", kError, \
          "The registry value %1, which names the stack's library folder, is missing, " \
          "empty or not a full path. No stack library is loaded: the provider cannot " \
          "start, or every call is refused. Set it to the full path of the folder that " \
          "holds the DA modules and kordo64.dll.") \
    EVENT(1004, kInstallRootMissing, "PW_EVENT_INSTALL_ROOT_MISSING", kError, \
          "The common-services library %1 gives no install root: %2. Every caller is " \
          "refused (the exclusion file cannot be found) and the trace log stays off. " \
          "Check that the library is the stack's own and that the stack is installed.") \
    EVENT(1005, kRightsModuleUnusable, "PW_EVENT_RIGHTS_MODULE_UNUSABLE", kError, \
          "The rights module %1 cannot be used: %2. Every caller is refused. Run pipeway " \
          "module check %1 to see why.") \
    EVENT(1006, kModuleUnusable, "PW_EVENT_MODULE_UNUSABLE", kError, \
          "The DA module %1 cannot be used: %2. Every call that names it ends with " \
          "ResultCode 105. Run pipeway module check %1 to see why.") \
    EVENT(1007, kUnexpectedFailure, "PW_EVENT_UNEXPECTED_FAILURE", kError, \
          "The provider's entry point %1 stopped on %2; the call failed. If it recurs, " \
          "check the memory of the provider host and send the trace log to the provider's " \
          "maintainers.") \
    EVENT(1008, kTraceLogFull, "PW_EVENT_TRACE_LOG_FULL", kWarning, \
          "The trace log %1 holds its limit of %2: no more lines are added to it. Delete " \
          "it to switch tracing off, or empty or replace it to go on tracing.")
// clang-format on

enum class Event : std::uint16_t {
#define PW_EVENT_ENUMERATOR(id, name, symbol, severity, text) name = id,
    PW_EVENT_TABLE(PW_EVENT_ENUMERATOR)
#undef PW_EVENT_ENUMERATOR
};

struct EventInfo {
    Event event;
    std::string_view symbol;
    Severity severity;
    std::string_view text;
};

inline constexpr EventInfo kEvents[] = {
#define PW_EVENT_INFO(id, name, symbol, severity, text) \
    {Event::name, symbol, Severity::severity, text},
    PW_EVENT_TABLE(PW_EVENT_INFO)
#undef PW_EVENT_INFO
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
