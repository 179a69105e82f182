#include "log/trace_log.h"

#include "log/local_time.h"
#include "pw/scoped_lock.h"
#include "pw/events.h"
#include "pw/stack_files.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <new>
#include <utility>

namespace {
// Static storage that is never destroyed: no heap block to outlive an unloaded library.
alignas(TraceLogPath) unsigned char g_traceLogPathStorage[sizeof(TraceLogPath)];
}  // namespace

TraceLogPath& g_traceLogPath = *new (g_traceLogPathStorage) TraceLogPath;

namespace {

CriticalSection g_traceLogLock;

// A trace line between a failing call and the caller's GetLastError (or errno) must not change
// what the caller reads: the look and the append both set them. Kept only where one of them
// runs, so that a line while tracing is off reads no thread-local state.
class CallersErrorKept {
  public:
    CallersErrorKept() : m_lastError(GetLastError()), m_errno(errno) {}
    ~CallersErrorKept() {
        errno = m_errno;
        SetLastError(m_lastError);
    }
    CallersErrorKept(const CallersErrorKept&) = delete;
    CallersErrorKept& operator=(const CallersErrorKept&) = delete;

  private:
    DWORD m_lastError;
    int m_errno;
};

constexpr std::size_t kWorkBufferSize = 2048;
constexpr std::size_t kMaxMessageLength = 1024;

// Whether tracing is on for `place`: the last look's answer, or a new look when the last is
// older than the interval. Of the threads that find it old at once one looks; the others go on
// with the answer before it, unless there is none yet since the path was set: those look too.
bool TracingOn(const TraceLogPath::Place& place) {
    using Place = TraceLogPath::Place;
    const auto look = [&place] {
        const CallersErrorKept kept;
        const DWORD attributes = GetFileAttributesA(place.full.c_str());
        const bool found =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
        place.answer.store(found ? Place::kFound : Place::kMissing, std::memory_order_release);
        return found;
    };
    const std::uint64_t now = GetTickCount64();
    std::uint64_t lookedAt = place.lookedAt.load(std::memory_order_acquire);
    if ((lookedAt == Place::kNotLooked || now - lookedAt >= kTraceLookIntervalMilliseconds) &&
        place.lookedAt.compare_exchange_strong(lookedAt, now, std::memory_order_acq_rel)) {
        return look();
    }
    const int answer = place.answer.load(std::memory_order_acquire);
    return answer == Place::kUnknown ? look() : answer == Place::kFound;
}

// Appends the entry under the log lock. True when the file is full: the entry would make it
// larger than the bound (Windows writes each "\n" as two bytes, counted as written).
bool AppendLocked(const pw::stack::AnchoredPath& path, const char* prefix, const char* message) {
    ScopedLock lock(g_traceLogLock);
    if (!lock.IsLocked()) {
        return false;
    }
    // Only an existing regular file with one link, reached without passing a link, is
    // appended to; anything else at the path is treated as no file, and the line is dropped
    // (the log is off while the file is missing).
    const pw::stack::Appender log = pw::stack::AppendToRegularFile(path);
    if (log.file == nullptr) {
        return false;
    }
    std::uint64_t length = std::strlen(prefix) + std::strlen(message);
#if defined(_WIN32)
    for (const char* c = message; *c != '\0'; ++c) {
        length += *c == '\n' ? 1 : 0;
    }
#endif
    // Once a line did not fit, none is added until the file is shorter than it was then
    // (emptied, or replaced by a smaller one): no later short line fills the gap.
    static std::uint64_t s_fullAt = 0;  // guarded by the log lock
    if (s_fullAt != 0 && log.size < s_fullAt) {
        s_fullAt = 0;
    }
    const bool full = s_fullAt != 0 || log.size + length > kTraceLogLimit;
    if (full) {
        s_fullAt = std::max<std::uint64_t>(log.size, 1);
    } else {
        std::fputs(prefix, log.file);
        std::fputs(message, log.file);
    }
    std::fclose(log.file);
    return full;
}

bool Append(const pw::stack::AnchoredPath& path, const char* prefix, const char* message) noexcept {
    // The walk to the file allocates; out of memory only drops the line, whatever it interrupts.
    try {
        return AppendLocked(path, prefix, message);
    } catch (...) {
        return false;
    }
}

}  // namespace

void TraceLogPath::Set(const pw::stack::AnchoredPath& path) {
    std::lock_guard<std::mutex> lock(m_setLock);
    const Kept* kept = m_kept;
    while (kept != nullptr &&
           (kept->place.where.base != path.base || kept->place.where.relative != path.relative)) {
        kept = kept->next;
    }
    if (kept == nullptr) {
        // Kept until ReleaseAll: see the class. At most one copy per distinct path.
        m_kept = new Kept{{path, path.Full()}, m_kept};
        kept = m_kept;
    }
    kept->place.answer.store(Place::kUnknown, std::memory_order_release);
    kept->place.lookedAt.store(Place::kNotLooked, std::memory_order_release);
    m_current.store(&kept->place, std::memory_order_release);
}

void TraceLogPath::ReleaseAll() {
    Clear();
    std::lock_guard<std::mutex> lock(m_setLock);
    while (m_kept != nullptr) {
        delete std::exchange(m_kept, m_kept->next);
    }
}

void TraceLog(const char* format, ...) {
    const TraceLogPath::Place* const path = g_traceLogPath.Get();
    if (path == nullptr || path->where.relative.empty() || !TracingOn(*path)) {
        return;
    }
    const CallersErrorKept kept;

    const LocalTime now = CurrentLocalTime();
    char prefix[128];
    std::snprintf(prefix, sizeof prefix, "[Proc:%lu Thrd:%lu] %d/%d/%d %d:%d:%d:%d-->",
                  static_cast<unsigned long>(GetCurrentProcessId()),
                  static_cast<unsigned long>(GetCurrentThreadId()), now.year, now.month, now.day,
                  now.hour, now.minute, now.second, now.millisecond);

    char message[kWorkBufferSize] = {};
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, kMaxMessageLength + 1, format, args);
    va_end(args);

    if (Append(path->where, prefix, message)) {
        pw::events::Report(pw::events::Event::kTraceLogFull, {path->full, "64 MiB"});
    }
}

void TraceLogProcessAttach() {
    g_traceLogLock.Create();
}

void TraceLogProcessDetach() {
    g_traceLogPath.ReleaseAll();
    g_traceLogLock.Destroy();
}
