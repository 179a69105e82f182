// POSIX only, for tests: the system clock that GetTickCount64 reads, moved forward at will so
// that no test waits on real time.
#pragma once

#include <windows.h>

extern "C" {

// Stops the clock at `milliseconds`: GetTickCount64 answers that, in every thread, until it is
// advanced.
PW_PLATFORM_API void WINAPI PwStopTickCount(ULONGLONG milliseconds);
// Moves the clock forward by `milliseconds` (a stopped one stays stopped there).
PW_PLATFORM_API void WINAPI PwAdvanceTickCount(ULONGLONG milliseconds);

}  // extern "C"
