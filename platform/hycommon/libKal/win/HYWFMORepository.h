// The handle repository of Windows: one WaitForMultipleObjects over the handlers' handles.
// Plain handles are waited on as they are; a socket is waited on through an auto-reset event
// that WSAEventSelect binds to the network events its interest mask asks for.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <unordered_map>
#include <vector>

#include "HYHandleRepository.h"

class HYWFMORepository : public HYHandleRepository {
public:
    HYWFMORepository();
    ~HYWFMORepository() override;

    void Rebuild() override;
    int Wait(int timeoutMs, ThreadClock* clock) override;

protected:
    void Forget(IoHandle* handler) override;

private:
    int Dispatch(size_t index);
    // Marks the sockets that want to write and have room now; true when there is one.
    bool FindWritable();
    HANDLE SocketEvent(IoHandle* handler);

    std::vector<HANDLE> m_handles;   // what the wait watches
    std::vector<IoHandle*> m_slots;  // parallel to m_handles; nullptr once a handler left mid-wait
    std::vector<bool> m_writable;    // parallel to m_slots: room to write found before the wait
    std::vector<bool> m_readable;    // parallel to m_slots: bytes (or a peer's close) to read
    std::unordered_map<IoHandle*, HANDLE> m_socketEvents;
    // Stands in for the handle of a handler that left during a dispatch: never signalled, so the
    // rest of the pass can still wait over the arrays.
    HANDLE m_neverSignalled = nullptr;
    bool m_warnedLimit = false;
};
