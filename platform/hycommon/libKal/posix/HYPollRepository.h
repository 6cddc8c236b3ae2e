// The handle repository of POSIX systems: one poll() over the handlers' descriptors.
#pragma once

#include <poll.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "EpollMirror.h"
#include "HYHandleRepository.h"

class HYPollRepository : public HYHandleRepository {
public:
    void Rebuild() override;
    int Wait(int timeoutMs, ThreadClock* clock) override;
    // An epoll descriptor watching the same descriptors as the poll set.
    int WaitDescriptor() override;
    void SyncWaitDescriptor() override;

protected:
    void Forget(IoHandle* handler) override;

private:
    int Dispatch(size_t index, short revents);

    std::vector<pollfd> m_fds;
    std::vector<IoHandle*> m_slots;  // parallel to m_fds; nullptr once a handler left mid-wait
    bool m_dispatching = false;
    uint64_t m_generation = 0;  // counts the rebuilds of m_fds
    uint64_t m_mirroredGeneration = 0;
    std::unique_ptr<EpollMirror> m_mirror;
};
