// A thread's I/O demultiplexer: waits until one of its handlers is ready or a time-out passes,
// and dispatches the ready ones.
#pragma once

#include <memory>

#include "HYHandleRepository.h"

class ThreadClock;

class HYIODemux {
public:
    HYIODemux();
    ~HYIODemux();

    // The calling thread's demultiplexer ("PTD HYIODemux").
    static std::shared_ptr<HYIODemux> Current();

    // Rebuilds the wait set when it changed, then waits up to `timeoutMs` (-1: no limit),
    // refreshing `clock` (when given) after the wait. Answers the number of handlers dispatched,
    // or -1 on failure.
    int WaitForInput(int timeoutMs, ThreadClock* clock);
    void Dump() const;
    // A descriptor readable whenever a wait would find a handler ready (-1 where there is
    // none), and the step that keeps it in line with handlers that came or went.
    int WaitDescriptor() { return m_repository->WaitDescriptor(); }
    void SyncWaitDescriptor() { m_repository->SyncWaitDescriptor(); }
    HYHandleRepository& Repository() { return *m_repository; }

private:
    std::unique_ptr<HYHandleRepository> m_repository;
};
