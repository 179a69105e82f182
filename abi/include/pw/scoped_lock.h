// Process-wide critical sections and the guard that takes them.
//
// Each process-wide lock of the system (trace log, DA cache, exclusion store) exists only
// between the library's attach and detach notifications. A guard over a lock that does not
// exist holds nothing, and the operation that asked for it reports its own "Failed to
// synchronize" message instead of running unprotected.
#pragma once

#include <atomic>
#include <mutex>
#include <new>

class CriticalSection {
  public:
    CriticalSection() = default;
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    // Trivially destroyed, so that a detach notification after the static objects are gone
    // still finds it; Destroy, called at detach, releases the lock.
    ~CriticalSection() = default;

    // Called from the library's attach and detach notifications, with no other thread inside.
    // Without memory the lock stays missing: loading goes on, and every guard over it reports
    // that it does not hold it.
    void Create() noexcept {
        if (m_mutex.load() == nullptr) {
            m_mutex.store(new (std::nothrow) std::mutex);
        }
    }
    void Destroy() { delete m_mutex.exchange(nullptr); }

    std::mutex* Native() const { return m_mutex.load(std::memory_order_acquire); }

  private:
    std::atomic<std::mutex*> m_mutex{nullptr};
};

class [[nodiscard]] ScopedLock {
  public:
    explicit ScopedLock(const CriticalSection& section) : m_mutex(section.Native()) {
        if (m_mutex != nullptr) {
            m_mutex->lock();
        }
    }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;
    ~ScopedLock() { Unlock(); }

    bool IsLocked() const { return m_mutex != nullptr; }

    void Unlock() {
        if (m_mutex != nullptr) {
            m_mutex->unlock();
            m_mutex = nullptr;
        }
    }

  private:
    std::mutex* m_mutex;
};
