// The fault-injection seam inside pwplatform (see pw_fault.h).
#pragma once

#include <pw_fault.h>

namespace pwplatform {

// Counts a call of this kind while faults are armed; true when this call is the one to fail.
bool FaultHere(PwFaultKind kind) noexcept;

}  // namespace pwplatform
