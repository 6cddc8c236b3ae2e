#include "OsSync.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
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

bool Semaphore::WaitMs(uint32_t ms) {
    std::unique_lock<std::mutex> hold(m_lock);
    if (!m_ready.wait_for(hold, std::chrono::milliseconds(ms), [this] { return m_count > 0; })) {
        return false;
    }
    --m_count;
    return true;
}

WakeEvent::WakeEvent() : m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeEvent::~WakeEvent() {
    if (m_fd >= 0) ::close(m_fd);
}

void WakeEvent::Set() {
    if (m_fd < 0) return;
    uint64_t one = 1;
    while (::write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool WakeEvent::Reset() {
    if (m_fd < 0) return false;
    uint64_t value = 0;
    ssize_t n;
    do {
        n = ::read(m_fd, &value, sizeof value);
    } while (n < 0 && errno == EINTR);
    return n == sizeof value && value > 0;
}

}  // namespace HY_OS
