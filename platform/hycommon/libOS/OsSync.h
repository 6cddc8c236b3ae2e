// Synchronisation objects of the platform seam that the standard library lacks.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace HY_OS {

// A counting semaphore.
class Semaphore {
public:
    explicit Semaphore(unsigned initial = 0);
    ~Semaphore();
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;
    void Release(unsigned count = 1);
    void Wait();
    // Takes one count if there is one, without waiting; false when there is none.
    bool TryWait();
    // Waits up to `ms`; false on time-out.
    bool WaitMs(uint32_t ms);

private:
    std::mutex m_lock;
    std::condition_variable m_ready;
    unsigned m_count;
};

// An auto-reset event that a poll-based wait can watch: its descriptor becomes readable when the
// event is set, and waiting (or Reset) clears it.
class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;
    bool IsValid() const { return m_fd >= 0; }
    int Descriptor() const { return m_fd; }
    void Set();
    // Clears the event; true when it was set.
    bool Reset();

private:
    int m_fd = -1;
};

}  // namespace HY_OS
