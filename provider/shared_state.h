// The DA module cache and the exclusion store are shared by every provider object of the
// process, and the teardown of any one of them drops both. A call running on another provider
// object at that moment may be inside a DA module or reading the store, so the drop never
// happens under it: teardown drops at once when no call is in flight, and otherwise leaves the
// drop to the last call in flight, as it leaves. Calls that start while a drop runs wait for
// it, then load what they need again.
#pragma once

#include "pw/resources.h"

// Held by every operation that may use a DA module or the exclusion store, for its whole run.
class SharedStateUse : private pw::NoCopy {
  public:
    SharedStateUse();
    ~SharedStateUse();
};

// The teardown's drop of the DA modules and the exclusion store: now, or deferred to the last
// call in flight.
void DropSharedState() noexcept;
