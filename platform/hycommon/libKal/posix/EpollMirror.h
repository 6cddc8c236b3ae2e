// One epoll descriptor whose interest set copies a poll() set, so that another event loop can
// watch a single descriptor for everything a demultiplexer waits on. It is readable while any
// of the copied descriptors is ready (level-triggered, like the poll it stands for).
#pragma once

#include <poll.h>

#include <map>
#include <vector>

class EpollMirror {
public:
    EpollMirror();
    ~EpollMirror();
    EpollMirror(const EpollMirror&) = delete;
    EpollMirror& operator=(const EpollMirror&) = delete;

    // The epoll descriptor, or -1 when it could not be made.
    int Descriptor() const { return m_epoll; }
    // Makes the interest set equal to `fds` (entries with fd -1 are skipped; one descriptor
    // listed twice is watched for the union of its events). false when a change was refused.
    bool Sync(const std::vector<pollfd>& fds);

private:
    int m_epoll = -1;
    std::map<int, unsigned> m_watched;  // descriptor -> epoll events
};
