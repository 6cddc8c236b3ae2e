// The server side of a session: takes an accepted connection, offers the session (its id and its
// creation time), takes the client's accept, answers keep-alives, delivers application messages
// and sends them. The development servers derive from it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "RemoteSession.h"

class ServerSession : public RemoteSession {
public:
    explicit ServerSession(uint32_t queueCapacity = kDefaultQueueCapacity);

    // Takes the connection as session `sessionId`, sends the offer and starts keep-alives
    // (state 3). False when the connection cannot be watched.
    bool Open(std::unique_ptr<HYTcpSocket> socket, uint16_t sessionId);
    // Told once the closed-connection handling ran (after AppCloseConnection).
    void SetClosedFunction(std::function<void(ServerSession&)> onClosed) {
        m_onClosed = std::move(onClosed);
    }
    // The client's own id from its accept.
    uint16_t ClientSessionId() const { return m_clientSessionId; }

protected:
    void HandleControl(const MsgBufferRef& buffer) override;
    void OnConnectionClosed() override;

private:
    std::function<void(ServerSession&)> m_onClosed;
    uint16_t m_clientSessionId = 0;
};
