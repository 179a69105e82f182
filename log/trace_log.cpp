#include "log/trace_log.h"

#include "log/local_time.h"
#include "pw/scoped_lock.h"
#include "pw/stack_files.h"

#include <windows.h>

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <new>
#include <utility>

namespace {
// Static storage that is never destroyed: no heap block to outlive an unloaded library.
alignas(TraceLogPath) unsigned char g_traceLogPathStorage[sizeof(TraceLogPath)];
}  // namespace

TraceLogPath& g_traceLogPath = *new (g_traceLogPathStorage) TraceLogPath;

namespace {

CriticalSection g_traceLogLock;

constexpr std::size_t kWorkBufferSize = 2048;
constexpr std::size_t kMaxMessageLength = 1024;

bool FileExists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

}  // namespace

void TraceLogPath::Set(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_setLock);
    const Kept* kept = m_kept;
    while (kept != nullptr && kept->path != path) {
        kept = kept->next;
    }
    if (kept == nullptr) {
        // Kept until ReleaseAll: see the class. At most one copy per distinct path.
        m_kept = new Kept{path, m_kept};
        kept = m_kept;
    }
    m_current.store(&kept->path, std::memory_order_release);
}

void TraceLogPath::ReleaseAll() {
    Clear();
    std::lock_guard<std::mutex> lock(m_setLock);
    while (m_kept != nullptr) {
        delete std::exchange(m_kept, m_kept->next);
    }
}

void TraceLog(const char* format, ...) {
    const std::string* const path = g_traceLogPath.Get();
    if (path == nullptr || path->empty() || !FileExists(*path)) {
        return;
    }

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

    ScopedLock lock(g_traceLogLock);
    if (!lock.IsLocked()) {
        return;
    }
    // Only an existing regular file that is not a link is appended to; anything else at the
    // path is treated as no file, and the line is dropped (the log is off while the file is
    // missing).
    std::FILE* file = pw::stack::AppendToRegularFile(*path);
    if (file == nullptr) {
        return;
    }
    std::fputs(prefix, file);
    std::fputs(message, file);
    std::fclose(file);
}

void TraceLogProcessAttach() {
    g_traceLogLock.Create();
}

void TraceLogProcessDetach() {
    g_traceLogPath.ReleaseAll();
    g_traceLogLock.Destroy();
}
