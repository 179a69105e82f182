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
