// Whether the calling thread impersonates a client now, as a DA module can find out.
#pragma once

#if defined(_WIN32)
#include "pw/resources.h"
#else
#include <pw_call_context.h>
#endif

inline bool ThreadIsImpersonating() {
#if defined(_WIN32)
    pw::UniqueHandle token;
    return OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()) != FALSE;
#else
    return PwIsImpersonating() != FALSE;
#endif
}
