#include "HYPollRepository.h"

#include <cerrno>

#include "ThreadClock.h"

std::unique_ptr<HYHandleRepository> MakeHandleRepository() {
    return std::make_unique<HYPollRepository>();
}

namespace {
constexpr int kTimeoutCode = 121;  // the error code a wait that timed out leaves
}

void HYPollRepository::Rebuild() {
    m_fds.clear();
    m_slots.clear();
    for (IoHandle* handler : m_handlers) {
        if (handler->Handle() == -1) {
            SetIndex(handler, -1);
            continue;
        }
        SetIndex(handler, static_cast<int>(m_fds.size()));
        pollfd entry{};
        entry.fd = handler->Handle();
        if (handler->IsPlainHandle()) {
            entry.events = POLLIN;
        } else {
            int mask = handler->Mask();
            if (mask & IO_Readable) entry.events |= POLLIN;
            if (mask & IO_Writable) entry.events |= POLLOUT;
            if (mask & IO_OutOfBand) entry.events |= POLLPRI;
            // A socket that asks for nothing is not watched at all (poll would still report
            // errors and hang-ups for it).
            if (entry.events == 0) entry.fd = -1;
        }
        m_fds.push_back(entry);
        m_slots.push_back(handler);
    }
    m_rebuildNeeded = false;
    ++m_generation;
}

int HYPollRepository::WaitDescriptor() {
    if (!m_mirror) {
        m_mirror = std::make_unique<EpollMirror>();
        m_mirroredGeneration = m_generation - 1;
    }
    SyncWaitDescriptor();
    return m_mirror->Descriptor();
}

void HYPollRepository::SyncWaitDescriptor() {
    // The wait arrays may not be laid out again while a dispatch walks them; the end of the
    // pass brings the descriptor in step.
    if (!m_mirror || m_dispatching) return;
    if (m_rebuildNeeded) Rebuild();
    if (m_mirroredGeneration == m_generation) return;
    // A refused descriptor is tried again at the next call.
    if (m_mirror->Sync(m_fds)) m_mirroredGeneration = m_generation;
}

void HYPollRepository::Forget(IoHandle* handler) {
    for (auto& slot : m_slots)
        if (slot == handler) slot = nullptr;
}

int HYPollRepository::Wait(int timeoutMs, ThreadClock* clock) {
    int ready;
    do {
        ready = ::poll(m_fds.data(), m_fds.size(), timeoutMs < 0 ? -1 : timeoutMs);
    } while (ready < 0 && errno == EINTR && timeoutMs < 0);
    if (clock != nullptr) clock->Update();
    if (ready < 0) {
        m_lastError = errno;
        return -1;
    }
    if (ready == 0) {
        m_lastError = kTimeoutCode;
        return 0;
    }
    // Every ready handler once, lowest index first; handlers that leave during a dispatch are
    // skipped, and ones that join wait for the rebuild before the next wait.
    int dispatched = 0;
    m_dispatching = true;
    for (size_t i = 0; i < m_fds.size(); ++i) {
        short revents = m_fds[i].revents;
        if (revents == 0 || m_slots[i] == nullptr) continue;
        m_fds[i].revents = 0;
        Dispatch(i, revents);
        ++dispatched;
    }
    m_dispatching = false;
    m_lastError = kTimeoutCode;
    return dispatched;
}

int HYPollRepository::Dispatch(size_t index, short revents) {
    IoHandle* handler = m_slots[index];
    if (handler == nullptr) return -1;
    if (handler->IsPlainHandle()) return handler->HandleEvents(IO_Signalled);
    if (revents & POLLNVAL) {
        // The descriptor is no longer valid: its events cannot be read.
        DetachForError(handler, IO_Signalled | IO_OutOfBand | IO_Readable | IO_Writable);
        return -1;
    }
    int mask = 0;
    if ((revents & POLLOUT) && !(revents & POLLERR)) mask |= IO_Writable;
    if (revents & (POLLIN | POLLHUP | POLLERR)) mask |= IO_Readable;
    if (revents & POLLPRI) mask |= IO_OutOfBand;
    return handler->HandleEvents(mask);
}
