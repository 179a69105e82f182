// POSIX only: the dynamic linker's own words for a failed load or lookup, which Windows gives
// through FormatMessage of the error code.
#pragma once

#include <windows.h>

extern "C" {

// Copies into `buffer` (at most `size` bytes, NUL included) what the dynamic linker said when
// this thread's last LoadLibrary or GetProcAddress failed with `error`, such as
// "libdep.so: cannot open shared object file: No such file or directory"; returns its length
// (without the NUL), or 0 when that failure was not one with `error` or said nothing.
PW_PLATFORM_API DWORD WINAPI PwLoaderErrorText(DWORD error, LPSTR buffer, DWORD size);

}  // extern "C"
