// Whether the calling thread impersonates a client now, as a DA module can find out.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <pw_call_context.h>
#endif

inline bool ThreadIsImpersonating() {
#if defined(_WIN32)
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
        return false;
    }
    CloseHandle(token);
    return true;
#else
    return PwIsImpersonating() != FALSE;
#endif
}
