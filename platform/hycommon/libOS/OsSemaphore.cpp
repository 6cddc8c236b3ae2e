// The counting semaphore, on the standard library's mutex and condition variable (which the
// Windows build maps onto critical sections and condition variables).
#include "OsSync.h"

#include <chrono>

namespace HY_OS {

Semaphore::Semaphore(unsigned initial) : m_count(initial) {}

Semaphore::~Semaphore() = default;

void Semaphore::Release(unsigned count) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_count += count;
    }
    if (count == 1) {
        m_ready.notify_one();
    } else {
        m_ready.notify_all();
    }
}

void Semaphore::Wait() {
    std::unique_lock<std::mutex> hold(m_lock);
    m_ready.wait(hold, [this] { return m_count > 0; });
    --m_count;
}

bool Semaphore::TryWait() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_count == 0) return false;
    --m_count;
    return true;
}

bool Semaphore::WaitMs(uint32_t ms) {
    std::unique_lock<std::mutex> hold(m_lock);
    if (!m_ready.wait_for(hold, std::chrono::milliseconds(ms), [this] { return m_count > 0; })) {
        return false;
    }
    --m_count;
    return true;
}

}  // namespace HY_OS
