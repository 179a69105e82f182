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

#include "pw/resources.h"

struct StoreSlot;

namespace pw::core {

// The library's process attach and detach notifications: the DA cache's and the store's locks
// exist only between them.
void ProcessAttach();
void ProcessDetach();

struct DACache;
struct Generation;

// Held by every operation that may use a DA module or the exclusion store: joins the current
// generation (creating one when there is none) and points this thread's module cache and store
// at it. Throws std::bad_alloc when a generation cannot be made.
class SharedStateUse : private pw::NoCopy {
  public:
    SharedStateUse();
    ~SharedStateUse();

  private:
    Generation* m_generation;
    DACache* m_previousCache;
    StoreSlot* m_previousStore;
};

// Retires the current generation, as above, and drops the process's default state (what tools
// and tests use outside any operation) at once.
void DropSharedState() noexcept;

}  // namespace pw::core
