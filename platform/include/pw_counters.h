// POSIX only, for benchmarks: how often the process asked the file system about a file through
// the platform (GetFileAttributesA), since it started.
#pragma once

#include <windows.h>

extern "C" {

PW_PLATFORM_API unsigned long long WINAPI PwFileQueries(void);

}  // extern "C"
