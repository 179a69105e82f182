// The command core's life in the process: the library's attach and detach notifications, and
// the shared state every request uses, the loaded DA modules and the exclusion store.
//
// The shared state comes in generations. Every provider operation that may use it joins the
// current generation for its whole run (SharedStateUse). A provider object's teardown retires
// the current generation (DropSharedState): operations that start from then on get a fresh one,
// which loads its modules and reads the exclusion file again, and the retired generation is
// dropped when the last operation that joined it ends, at once when none runs. Operations that
// belong to a later generation never postpone the drop of an earlier one.
#pragma once

#include "authex/auth_exception.h"
#include "core/da_cache.h"
#include "pw/resources.h"

namespace pw::core {

// What an operation uses of the shared state: the DA modules it loads and the exclusion store.
// The operation carries it to every call that needs either (no per-thread pointer: thread-local
// storage of a library loaded at run time is allocated on a thread's first touch, and the
// process ends when that allocation fails).
struct SharedState {
    DACache& modules;
    StoreSlot& store;
};

// The process's own state, which tools and tests use outside any provider operation: the
// default module cache and the default store slot.
SharedState& DefaultSharedState() noexcept;

// The library's process attach and detach notifications: the DA cache's and the store's locks
// exist only between them.
void ProcessAttach();
void ProcessDetach();

struct Generation;

// Held by every operation that may use a DA module or the exclusion store: joins the current
// generation (creating one when there is none) for the operation's run. Throws std::bad_alloc
// when a generation cannot be made.
class SharedStateUse : private pw::NoCopy {
  public:
    SharedStateUse();
    ~SharedStateUse();

    // The generation's state, for the operation to hand to what it calls.
    SharedState& State() const noexcept;

  private:
    Generation* m_generation;
};

// Retires the current generation, as above, and drops the process's default state (what tools
// and tests use outside any operation) at once.
void DropSharedState() noexcept;

}  // namespace pw::core
