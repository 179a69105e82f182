// No exception leaves the platform's C interface: a function whose work can throw (it builds
// strings, containers) runs it through NoThrow, which turns any exception into the failure
// that function reports, as Windows would for want of memory.
#pragma once

#include "platform/src/fault.h"

#include <windows.h>

namespace pwplatform {

// Runs `body`; if it throws, sets the thread's last error to `lastError` (unless 0) and
// returns `failure`.
template <typename Result, typename Body>
Result NoThrow(Result failure, DWORD lastError, Body body) noexcept {
    const PlatformCallScope scope;
    try {
        return body();
    } catch (...) {
        if (lastError != 0) {
            SetLastError(lastError);
        }
        return failure;
    }
}

}  // namespace pwplatform
