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

// The stable event IDs, as the message table in the provider's resources numbers them; the
// Event Viewer and Get-WinEvent show these numbers.
enum class Event : std::uint16_t {
    // Error. The exclusion file cannot be read (missing, unreadable, not a regular file, over
    // 4 MiB): every caller is refused. %1 the file, %2 why.
    kPolicyUnreadable = 1001,
    // Warning. The exclusion file has a syntax error: the entries after it are ignored, so the
    // commands they name are allowed to every role. %1 the file, %2 line:column, %3 the
    // commands now allowed to everyone.
    kPolicySyntaxError = 1002,
    // Error. The registry value naming the stack's library folder is missing, empty or not a
    // full path: no stack library is loaded. %1 the key and value.
    kLibraryFolderMissing = 1003,
    // Error. The common-services library gives no install root: every caller is refused, and
    // the trace log stays off. %1 the library's file, %2 why.
    kInstallRootMissing = 1004,
    // Error. The rights module cannot be used: every caller is refused. %1 the module, %2 why.
    kRightsModuleUnusable = 1005,
    // Error. A DA module cannot be used: every call naming it ends with ResultCode 105.
    // %1 the module, %2 why.
    kModuleUnusable = 1006,
    // Error. An entry point of the provider stopped on a failure it did not expect (out of
    // memory, or an exception): the call failed. %1 the entry point, %2 the failure.
    kUnexpectedFailure = 1007,
    // Warning. The trace log holds its limit: no line is added until it is emptied or
    // replaced. %1 the file, %2 the limit.
    kTraceLogFull = 1008,
};

inline constexpr Event kEvents[] = {
    Event::kPolicyUnreadable,   Event::kPolicySyntaxError,    Event::kLibraryFolderMissing,
    Event::kInstallRootMissing, Event::kRightsModuleUnusable, Event::kModuleUnusable,
    Event::kUnexpectedFailure,  Event::kTraceLogFull,
};

// Whether the event is an error (else a warning), and its full message ID, severity bits
// included, as the message table defines it and ReportEventW takes it.
bool IsError(Event event);
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
