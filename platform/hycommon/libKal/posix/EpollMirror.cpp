#include "EpollMirror.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>

namespace {
unsigned EpollEvents(short pollEvents) {
    unsigned events = 0;
    if (pollEvents & POLLIN) events |= EPOLLIN;
    if (pollEvents & POLLOUT) events |= EPOLLOUT;
    if (pollEvents & POLLPRI) events |= EPOLLPRI;
    return events;
}
}  // namespace

EpollMirror::EpollMirror() : m_epoll(::epoll_create1(EPOLL_CLOEXEC)) {}

EpollMirror::~EpollMirror() {
    if (m_epoll >= 0) ::close(m_epoll);
}

bool EpollMirror::Sync(const std::vector<pollfd>& fds) {
    if (m_epoll < 0) return false;
    std::map<int, unsigned> wanted;
    for (const pollfd& entry : fds) {
        if (entry.fd < 0) continue;
        wanted[entry.fd] |= EpollEvents(entry.events);
    }
    bool ok = true;
    for (auto it = m_watched.begin(); it != m_watched.end();) {
        if (wanted.count(it->first) == 0) {
            // A descriptor closed in the meantime has already left the set on its own.
            ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, it->first, nullptr);
            it = m_watched.erase(it);
        } else {
            ++it;
        }
    }
    for (const auto& [fd, events] : wanted) {
        epoll_event change{};
        change.events = events;
        change.data.fd = fd;
        // Every kept descriptor is modified, not only the changed ones: its number may now
        // belong to a new file whose predecessor left the set when it was closed; such a
        // number is added again.
        int result = ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &change);
        if (result != 0 && errno == ENOENT) result = ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &change);
        if (result != 0) {
            ok = false;
            m_watched.erase(fd);
            continue;
        }
        m_watched[fd] = events;
    }
    return ok;
}
