// The system clock: the monotonic clock plus what tests moved it forward by, or the time a test
// stopped it at.
#include <pw_clock.h>

#include <atomic>
#include <ctime>

namespace {

std::atomic<bool> g_stopped{false};
std::atomic<ULONGLONG> g_offset{0};  // added to the monotonic clock, or the stopped time

}  // namespace

extern "C" {

ULONGLONG WINAPI GetTickCount64(void) {
    if (g_stopped.load()) {
        return g_offset.load();
    }
    // The coarse clock, as Windows' own ticks every 10 to 16 ms: read without a system call and
    // at a few nanoseconds, since the trace log reads it on every line.
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<ULONGLONG>(now.tv_sec) * 1000u +
           static_cast<ULONGLONG>(now.tv_nsec) / 1000000u + g_offset.load();
}

void WINAPI PwStopTickCount(ULONGLONG milliseconds) {
    g_offset.store(milliseconds);
    g_stopped.store(true);
}

void WINAPI PwAdvanceTickCount(ULONGLONG milliseconds) {
    g_offset.fetch_add(milliseconds);
}

}  // extern "C"
