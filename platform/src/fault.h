// The fault-injection seam inside pwplatform (see pw_fault.h).
#pragma once

#include <pw_fault.h>

namespace pwplatform {

// Counts a call of this kind while faults are armed; true when this call is the one to fail.
bool FaultHere(PwFaultKind kind) noexcept;

// While a platform function runs on this thread, the allocations it makes for itself are not
// counted as the caller's (PW_FAULT_MEMORY): the function fails as a whole, by its own kind.
class PlatformCallScope {
  public:
    PlatformCallScope() noexcept;
    ~PlatformCallScope();
    PlatformCallScope(const PlatformCallScope&) = delete;
    PlatformCallScope& operator=(const PlatformCallScope&) = delete;
};

}  // namespace pwplatform
