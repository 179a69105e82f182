// The process-wide trace log.
//
// Tracing is switched on by creating the file that g_traceLogPath names and off by deleting it.
// Each entry is "[Proc:<pid> Thrd:<tid>] <y>/<m>/<d> <h>:<min>:<s>:<ms>-->" followed by the
// formatted message, cut to 1024 characters; the log adds no line end of its own.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#if defined(__MINGW32__)
#define PW_PRINTF_FORMAT(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define PW_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

// Full path of the trace log file; empty until the provider is initialised.
//
// The provider replaces the path while other threads log. Each TraceLog call takes its own
// reference to the current path with one atomic load, so a replacement never frees a path
// that a concurrent call is still reading, and no lock is taken while tracing is off.
class TraceLogPath {
  public:
    void Set(std::string path) {
        m_path.store(std::make_shared<const std::string>(std::move(path)));
    }
    void Clear() { m_path.store(nullptr); }
    std::shared_ptr<const std::string> Get() const { return m_path.load(); }

  private:
    std::atomic<std::shared_ptr<const std::string>> m_path;
};

// The library's detach notification may come after its static objects are gone (a shared
// library's unload hook at process exit): the path object is never destroyed.
extern TraceLogPath& g_traceLogPath;

// Appends one entry when g_traceLogPath names an existing file; never reports anything.
void TraceLog(const char* format, ...) PW_PRINTF_FORMAT(1, 2);

// The library's process attach and detach notifications: the log lock exists only between them,
// and detach clears the path. No entry is written outside that span.
void TraceLogProcessAttach();
void TraceLogProcessDetach();
