#include "core/lifecycle.h"

#include <mutex>

namespace pw::core {

// One generation of shared state: its modules and its store, the operations that joined it,
// and whether a teardown has retired it.
struct Generation {
    DACache modules;
    StoreSlot store;
    SharedState state{modules, store};
    long calls = 0;
    bool retired = false;
};

namespace {

// A plain mutex rather than the platform's critical section: it needs no creation at process
// attach, so a provider object can be torn down after the library's detach notification. It
// guards the current generation and every generation's count, never a drop.
std::mutex g_mutex;
Generation* g_current = nullptr;

void Release(SharedState& state) noexcept {
    ReleaseModules(state.modules);
    CSingletonAuthExceptionImpl::DestroyInstance(state.store);
}

void Drop(Generation* generation) noexcept {
    Release(generation->state);
    delete generation;
}

}  // namespace

SharedState& DefaultSharedState() noexcept {
    static SharedState state{DefaultDACache(), CSingletonAuthExceptionImpl::DefaultSlot()};
    return state;
}

void ProcessAttach() {
    AttachModuleCache();
    AuthExProcessAttach();
}

void ProcessDetach() {
    AuthExProcessDetach();
    DetachModuleCache();
}

SharedStateUse::SharedStateUse() {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_current == nullptr) {
            g_current = new Generation;
        }
        m_generation = g_current;
        ++m_generation->calls;
    }
}

SharedState& SharedStateUse::State() const noexcept {
    return m_generation->state;
}

SharedStateUse::~SharedStateUse() {
    Generation* ended = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (--m_generation->calls == 0 && m_generation->retired) {
            ended = m_generation;
        }
    }
    if (ended != nullptr) {
        Drop(ended);
    }
}

void DropSharedState() noexcept {
    Generation* idle = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_current != nullptr) {
            g_current->retired = true;
            if (g_current->calls == 0) {
                idle = g_current;
            }
            g_current = nullptr;
        }
    }
    if (idle != nullptr) {
        Drop(idle);
    }
    Release(DefaultSharedState());
}

}  // namespace pw::core
