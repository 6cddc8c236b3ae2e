#include "OsSync.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

namespace HY_OS {

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
