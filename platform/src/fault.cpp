#include "platform/src/fault.h"

#include <atomic>

namespace {

std::atomic<unsigned> g_kinds{0};
std::atomic<long> g_failAt{0};
std::atomic<long> g_counted{0};
thread_local int t_platformCalls = 0;

}  // namespace

namespace pwplatform {

PlatformCallScope::PlatformCallScope() noexcept {
    ++t_platformCalls;
}

PlatformCallScope::~PlatformCallScope() {
    --t_platformCalls;
}

bool FaultHere(PwFaultKind kind) noexcept {
    if ((g_kinds.load(std::memory_order_acquire) & kind) == 0 ||
        (kind == PW_FAULT_MEMORY && t_platformCalls > 0)) {
        return false;
    }
    const long call = g_counted.fetch_add(1) + 1;
    return call == g_failAt.load();
}

}  // namespace pwplatform

extern "C" {

void WINAPI PwArmFaults(unsigned kinds, long failAt) {
    g_kinds.store(0);
    g_counted.store(0);
    g_failAt.store(failAt);
    g_kinds.store(kinds, std::memory_order_release);
}

BOOL WINAPI PwFaultCall(unsigned kind) {
    return pwplatform::FaultHere(static_cast<PwFaultKind>(kind)) ? TRUE : FALSE;
}

long WINAPI PwDisarmFaults(void) {
    g_kinds.store(0);
    return g_counted.load();
}

}  // extern "C"
