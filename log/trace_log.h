// The process-wide trace log.
//
// Tracing is switched on by creating the file that g_traceLogPath names and off by deleting it.
// Whether the file is there is asked at most once per kTraceLookIntervalMilliseconds (and at
// once after the path is set): between two looks the last answer stands, so a request with
// tracing off costs no file-system query per line, only an atomic load and a clock read. The
// price is that lines in the first quarter second after the file is created may be missing, and
// that lines in the quarter second after it is deleted are tried (and dropped, since the append
// opens existing files only).
// Each entry is "[Proc:<pid> Thrd:<tid>] <y>/<m>/<d> <h>:<min>:<s>:<ms>-->" followed by the
// formatted message, cut to 1024 characters; the log adds no line end of its own. Only a
// regular file with one link, reached from the install root without passing a link, is
// appended to, and only up to kTraceLogLimit bytes: any caller's request adds lines, and a log
// without a bound would fill the disk.
#pragma once

#include "pw/stack_files.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#if defined(__MINGW32__)
#define PW_PRINTF_FORMAT(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define PW_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

// Full path of the trace log file; none until the provider is initialised.
//
// Every trace call reads the path, on every thread, so reading it is one atomic load and
// nothing else: no lock, no reference count that the threads would fight over. That is safe
// because a path once set is not freed while the library is loaded: each distinct path is kept
// until the library's detach notification (setting a path that was set before reuses its
// copy), so a replacement cannot free a path that a concurrent call is still reading.
class TraceLogPath {
  public:
    // The log below the install root, or (tools and tests) the file `path` in its own folder.
    // Each Set, of a new path or of the one set before (a provider load), makes the next trace
    // call look for the file at once.
    void Set(const pw::stack::AnchoredPath& path);
    void Set(const std::string& path) { Set(pw::stack::AtOwnFolder(path)); }
    void Clear() { m_current.store(nullptr, std::memory_order_release); }
    // Clears the path and frees every kept copy. Only for the detach notification, when no
    // thread is inside the library any more.
    void ReleaseAll();
    // A path as set, and its full spelling (made once: a trace line allocates nothing for it),
    // with what the last look for the file there found.
    struct Place {
        pw::stack::AnchoredPath where;
        std::string full;
        // GetTickCount64 at the last look, or kNotLooked: the next trace call looks.
        mutable std::atomic<std::uint64_t> lookedAt{kNotLooked};
        // What the last look found; kUnknown until the first look since Set has ended.
        enum Answer : int { kUnknown, kFound, kMissing };
        mutable std::atomic<int> answer{kUnknown};
        static constexpr std::uint64_t kNotLooked = ~std::uint64_t{0};
    };
    // The current path, valid until the detach notification; null when none is set.
    const Place* Get() const { return m_current.load(std::memory_order_acquire); }

  private:
    struct Kept {
        Place place;
        Kept* next;
    };
    std::mutex m_setLock;  // serialises Set with Set; readers never take it
    Kept* m_kept = nullptr;
    std::atomic<const Place*> m_current{nullptr};
};

// The library's detach notification may come after its static objects are gone (a shared
// library's unload hook at process exit): the path object is never destroyed.
extern TraceLogPath& g_traceLogPath;

// How long the answer of one look for the trace file stands.
inline constexpr std::uint64_t kTraceLookIntervalMilliseconds = 250;

// The largest trace log appended to: a line that would make the file larger is dropped, and so
// is every later one until the file is emptied or replaced (reported as event 1008).
inline constexpr std::uint64_t kTraceLogLimit = std::uint64_t{64} << 20;

// Appends one entry when g_traceLogPath names a file that the last look found (see above);
// reports nothing but a full log.
void TraceLog(const char* format, ...) PW_PRINTF_FORMAT(1, 2);

// The library's process attach and detach notifications: the log lock exists only between them,
// and detach clears the path. No entry is written outside that span.
void TraceLogProcessAttach();
void TraceLogProcessDetach();
