#include "shared_state.h"

#include "pipeway_provider_impl.h"

#include <mutex>

namespace {

// A plain mutex rather than the platform's critical section: it needs no creation at process
// attach, so a provider object can be torn down after the library's detach notification.
std::mutex g_mutex;
long g_callsInFlight = 0;
bool g_dropPending = false;

// Under g_mutex, so that no call starts while the modules are unloaded.
void Drop() noexcept {
    CoreDropSharedState();
}

}  // namespace

SharedStateUse::SharedStateUse() {
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_callsInFlight;
}

SharedStateUse::~SharedStateUse() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (--g_callsInFlight == 0 && g_dropPending) {
        g_dropPending = false;
        Drop();
    }
}

void DropSharedState() noexcept {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_callsInFlight == 0) {
        Drop();
    } else {
        g_dropPending = true;
    }
}
