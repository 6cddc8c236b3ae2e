#include "HYWFMORepository.h"

#include <cstdio>

#include "ThreadClock.h"

std::unique_ptr<HYHandleRepository> MakeHandleRepository() {
    return std::make_unique<HYWFMORepository>();
}

namespace {

constexpr int kTimeoutCode = 121;  // the error code a wait that timed out leaves

// Winsock is started once for the process, before any socket is made.
struct WinsockStartup {
    WinsockStartup() {
        WSADATA data;
        int error = WSAStartup(MAKEWORD(2, 2), &data);
        if (error != 0) std::fprintf(stderr, "WSAStartup err=%d\n", error);
    }
    ~WinsockStartup() { WSACleanup(); }
};
WinsockStartup g_winsock;

HANDLE AsHandle(int handle) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle)); }
SOCKET AsSocket(int handle) { return static_cast<SOCKET>(static_cast<intptr_t>(handle)); }

long NetworkEventsFor(int mask) {
    long events = 0;
    if (mask & IO_Readable) events |= FD_READ | FD_ACCEPT | FD_CONNECT | FD_CLOSE;  // 0x39
    if (mask & IO_Writable) events |= FD_WRITE | FD_CONNECT;                        // 0x12
    if (mask & IO_OutOfBand) events |= FD_OOB;
    return events;
}

}  // namespace

HYWFMORepository::HYWFMORepository() : m_neverSignalled(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

HYWFMORepository::~HYWFMORepository() {
    for (auto& [handler, event] : m_socketEvents) CloseHandle(event);
    if (m_neverSignalled) CloseHandle(m_neverSignalled);
}

HANDLE HYWFMORepository::SocketEvent(IoHandle* handler) {
    auto found = m_socketEvents.find(handler);
    if (found != m_socketEvents.end()) return found->second;
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (event != nullptr) m_socketEvents.emplace(handler, event);
    return event;
}

void HYWFMORepository::Rebuild() {
    m_handles.clear();
    m_slots.clear();
    // Sockets that can no longer be bound to their event (closed, or not sockets at all) would
    // never be woken; they are detached and told, as a failed read of their events would be.
    std::vector<IoHandle*> bad;
    for (IoHandle* handler : m_handlers) {
        SetIndex(handler, -1);
        if (handler->Handle() == -1) continue;
        HANDLE waitable = AsHandle(handler->Handle());
        if (!handler->IsPlainHandle()) {
            // A socket that asks for nothing is not watched at all.
            long events = NetworkEventsFor(handler->Mask());
            HANDLE event = SocketEvent(handler);
            if (event == nullptr) continue;
            if (WSAEventSelect(AsSocket(handler->Handle()), event, events) != 0) {
                bad.push_back(handler);
                continue;
            }
            if (events == 0) continue;
            waitable = event;
        }
        // One wait covers at most 64 handles; more are not waited on, and this is said once.
        if (m_handles.size() == MAXIMUM_WAIT_OBJECTS) {
            if (!m_warnedLimit) {
                std::fprintf(stderr, "HYWFMORepository: more than %d handles; the rest are not waited on\n",
                             MAXIMUM_WAIT_OBJECTS);
                m_warnedLimit = true;
            }
            continue;
        }
        SetIndex(handler, static_cast<int>(m_handles.size()));
        m_handles.push_back(waitable);
        m_slots.push_back(handler);
    }
    m_rebuildNeeded = false;
    for (IoHandle* handler : bad) DetachForError(handler, IO_Signalled | IO_OutOfBand | IO_Readable | IO_Writable);
}

void HYWFMORepository::Forget(IoHandle* handler) {
    for (size_t i = 0; i < m_slots.size(); ++i) {
        if (m_slots[i] != handler) continue;
        m_slots[i] = nullptr;
        m_handles[i] = m_neverSignalled;
    }
    auto found = m_socketEvents.find(handler);
    if (found != m_socketEvents.end()) {
        // The socket may already be closed; then there is no binding left to undo.
        if (handler->Handle() != -1) WSAEventSelect(AsSocket(handler->Handle()), nullptr, 0);
        CloseHandle(found->second);
        m_socketEvents.erase(found);
    }
}

int HYWFMORepository::Wait(int timeoutMs, ThreadClock* clock) {
    DWORD timeout = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    // A socket with room to write is ready now: the wait only collects what else is.
    if (FindWritable()) timeout = 0;
    if (m_handles.empty()) {
        // Nothing to wait on: only the time-out can end the wait.
        Sleep(timeout);
        if (clock != nullptr) clock->Update();
        m_lastError = kTimeoutCode;
        return 0;
    }
    DWORD count = static_cast<DWORD>(m_handles.size());
    DWORD result = WaitForMultipleObjects(count, m_handles.data(), FALSE, timeout);
    if (clock != nullptr) clock->Update();
    // Every ready handle once, lowest index first: after each dispatch only the handles after
    // it are looked at again, without waiting, so low indexes cannot starve high ones.
    int dispatched = 0;
    DWORD base = 0;
    for (;;) {
        if (result == WAIT_TIMEOUT) break;
        if (result == WAIT_FAILED) {
            m_lastError = static_cast<int>(GetLastError());
            return dispatched > 0 ? dispatched : -1;
        }
        DWORD offset = result >= WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + (count - base)
                           ? result - WAIT_ABANDONED_0
                           : result - WAIT_OBJECT_0;
        size_t index = base + offset;
        if (index >= m_handles.size()) break;
        Dispatch(index);
        ++dispatched;
        base = static_cast<DWORD>(index + 1);
        if (base >= count) break;
        result = WaitForMultipleObjects(count - base, m_handles.data() + base, FALSE, 0);
    }
    // Sockets with room to write or bytes to read whose events did not fire, in index order.
    for (size_t i = 0; i < m_writable.size() && i < m_slots.size(); ++i) {
        if (!(m_writable[i] || (i < m_readable.size() && m_readable[i])) || m_slots[i] == nullptr)
            continue;
        Dispatch(i);
        ++dispatched;
    }
    m_lastError = kTimeoutCode;
    return dispatched;
}

bool HYWFMORepository::FindWritable() {
    // Winsock reports room to write once, then again only after a send hit WSAEWOULDBLOCK (and
    // Wine not even when the socket is bound again), while the handlers expect to be woken on
    // every pass in which a socket they want to write to has room, as poll() does. A select()
    // without waiting finds those sockets before each wait.
    // Wine also loses a socket's read event when the socket is bound again (its write interest
    // changes) while bytes wait, so readable sockets are looked for the same way.
    m_writable.assign(m_slots.size(), false);
    m_readable.assign(m_slots.size(), false);
    fd_set writeCandidates, readCandidates;
    FD_ZERO(&writeCandidates);
    FD_ZERO(&readCandidates);
    for (IoHandle* handler : m_slots) {
        if (handler == nullptr || handler->IsPlainHandle()) continue;
        if ((handler->Mask() & IO_Writable) && writeCandidates.fd_count < FD_SETSIZE)
            FD_SET(AsSocket(handler->Handle()), &writeCandidates);
        if ((handler->Mask() & IO_Readable) && readCandidates.fd_count < FD_SETSIZE)
            FD_SET(AsSocket(handler->Handle()), &readCandidates);
    }
    if (writeCandidates.fd_count == 0 && readCandidates.fd_count == 0) return false;
    timeval now{0, 0};
    if (select(0, readCandidates.fd_count ? &readCandidates : nullptr,
               writeCandidates.fd_count ? &writeCandidates : nullptr, nullptr, &now) <= 0)
        return false;
    bool any = false;
    for (size_t i = 0; i < m_slots.size(); ++i) {
        IoHandle* handler = m_slots[i];
        if (handler == nullptr || handler->IsPlainHandle()) continue;
        SOCKET socket = AsSocket(handler->Handle());
        if ((handler->Mask() & IO_Writable) && FD_ISSET(socket, &writeCandidates)) {
            m_writable[i] = true;
            any = true;
        }
        if ((handler->Mask() & IO_Readable) && FD_ISSET(socket, &readCandidates)) {
            m_readable[i] = true;
            any = true;
        }
    }
    return any;
}

int HYWFMORepository::Dispatch(size_t index) {
    IoHandle* handler = m_slots[index];
    if (handler == nullptr) return -1;
    if (handler->IsPlainHandle()) return handler->HandleEvents(IO_Signalled);
    WSANETWORKEVENTS events{};
    if (WSAEnumNetworkEvents(AsSocket(handler->Handle()), m_handles[index], &events) != 0) {
        DetachForError(handler, IO_Signalled | IO_OutOfBand | IO_Readable | IO_Writable);
        return -1;
    }
    int mask = 0;
    if (m_writable[index]) {
        m_writable[index] = false;
        if (handler->Mask() & IO_Writable) mask |= IO_Writable;
    }
    if (index < m_readable.size() && m_readable[index]) {
        m_readable[index] = false;
        if (handler->Mask() & IO_Readable) mask |= IO_Readable;
    }
    if (events.lNetworkEvents & FD_WRITE) mask |= IO_Writable;
    if (events.lNetworkEvents & FD_CONNECT)
        mask |= events.iErrorCode[FD_CONNECT_BIT] == 0 ? IO_Writable : IO_Readable;
    if (events.lNetworkEvents & (FD_READ | FD_ACCEPT | FD_CLOSE)) mask |= IO_Readable;
    if (events.lNetworkEvents & FD_OOB) mask |= IO_OutOfBand;
    if (mask == 0) return 0;
    return handler->HandleEvents(mask);
}
