// The library's module: its lock count, which says whether the library may be unloaded.
#pragma once

#include <windows.h>

#include <atomic>

#include "provider/identifiers.h"

class CiPipewayProviderModule {
  public:
    LONG Lock() { return ++m_lockCount; }
    LONG Unlock() { return --m_lockCount; }
    LONG GetLockCount() const { return m_lockCount.load(); }

  private:
    std::atomic<LONG> m_lockCount{0};
};

extern CiPipewayProviderModule g_module;

// The module lock for as long as it lives. As the first member of an object it is released
// after the destructor's body and the other members: the library stays loaded while they run,
// DA modules unloading included. What runs after it (the base classes' destructors and the
// return from Release) is the few instructions COM's delay before unloading a library covers.
class ModuleLockHold {
  public:
    ModuleLockHold() { g_module.Lock(); }
    ~ModuleLockHold() { g_module.Unlock(); }
    ModuleLockHold(const ModuleLockHold&) = delete;
    ModuleLockHold& operator=(const ModuleLockHold&) = delete;
};
