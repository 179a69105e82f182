#include <windows.h>

#include <sys/syscall.h>
#include <unistd.h>

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

extern "C" {

DWORD WINAPI GetLastError(void) {
    return t_lastError;
}

void WINAPI SetLastError(DWORD errorCode) {
    t_lastError = errorCode;
}

DWORD WINAPI GetCurrentProcessId(void) {
    return static_cast<DWORD>(getpid());
}

DWORD WINAPI GetCurrentThreadId(void) {
    return static_cast<DWORD>(gettid());
}

}  // extern "C"
