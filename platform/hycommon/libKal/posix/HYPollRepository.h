// The handle repository of POSIX systems: one poll() over the handlers' descriptors.
#pragma once

#include <poll.h>

#include <vector>

#include "HYHandleRepository.h"

class HYPollRepository : public HYHandleRepository {
public:
    void Rebuild() override;
    int Wait(int timeoutMs, ThreadClock* clock) override;

protected:
    void Forget(IoHandle* handler) override;

private:
    int Dispatch(size_t index, short revents);

    std::vector<pollfd> m_fds;
    std::vector<IoHandle*> m_slots;  // parallel to m_fds; nullptr once a handler left mid-wait
};
