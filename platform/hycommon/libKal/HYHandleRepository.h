// The set of handlers a demultiplexer waits on, kept in attach order, and the platform's wait.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "IoHandle.h"

class ThreadClock;

class HYHandleRepository {
public:
    virtual ~HYHandleRepository();

    // -1 for a handler without a handle.
    int Register(IoHandle* handler);
    void Unregister(IoHandle* handler);
    void MarkForRebuild() { m_rebuildNeeded = true; }
    bool RebuildNeeded() const { return m_rebuildNeeded; }
    size_t Count() const { return m_handlers.size(); }
    const std::vector<IoHandle*>& Handlers() const { return m_handlers; }

    // Lays the wait arrays out again from the attached handlers.
    virtual void Rebuild() = 0;
    // Waits up to `timeoutMs` (-1: no limit) and dispatches every ready handler once, in index
    // order. Answers the number dispatched, or -1 when the wait failed before any.
    virtual int Wait(int timeoutMs, ThreadClock* clock) = 0;
    // The last wait's error code (121 after a plain time-out).
    int LastError() const { return m_lastError; }

    // One descriptor that is readable whenever a wait would find a handler ready, for another
    // event loop to watch; made on first use, -1 where the platform has no such descriptor.
    virtual int WaitDescriptor() { return -1; }
    // Brings the wait descriptor, once one was asked for, in step with the attached handlers.
    // Called between loop passes; does nothing while a dispatch is under way.
    virtual void SyncWaitDescriptor() {}

protected:
    // Takes a handler out of the current wait arrays while a dispatch may still walk them.
    virtual void Forget(IoHandle* handler) = 0;
    static void SetIndex(IoHandle* handler, int index) { handler->m_index = index; }
    static void DetachForError(IoHandle* handler, int mask);

    std::vector<IoHandle*> m_handlers;
    bool m_rebuildNeeded = false;
    int m_lastError = 0;
};

// The platform's repository: poll() on POSIX systems, WaitForMultipleObjects on Windows.
std::unique_ptr<HYHandleRepository> MakeHandleRepository();
