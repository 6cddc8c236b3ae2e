// Accepts session connections on one address of the calling thread and keeps a server session
// for each, made by the factory. A session whose connection closed is destroyed on a later loop
// pass, after its callbacks have returned.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "HYEvent.h"
#include "HYTcpListener.h"
#include "ServerSession.h"

class SessionServer {
public:
    using SessionFactory = std::function<std::unique_ptr<ServerSession>()>;

    explicit SessionServer(SessionFactory factory);
    ~SessionServer();
    SessionServer(const SessionServer&) = delete;
    SessionServer& operator=(const SessionServer&) = delete;

    // 0, or -1 when the address cannot be listened on.
    int Listen(const HYInetAddress& address);
    // Stops listening and closes every session. Not from inside a session's own callback: the
    // sessions are destroyed at once.
    void Stop();
    const HYInetAddress& LocalAddress() const { return m_listener.LocalAddress(); }

    size_t SessionCount() const { return m_sessions.size(); }
    ServerSession* Find(uint16_t sessionId) const;
    std::vector<ServerSession*> Sessions() const;

private:
    void OnAccept(std::unique_ptr<HYTcpSocket> socket);
    void OnSessionClosed(ServerSession& session);
    uint16_t NextSessionId();

    SessionFactory m_factory;
    HYTcpListener m_listener;
    std::map<uint16_t, std::unique_ptr<ServerSession>> m_sessions;
    std::vector<std::unique_ptr<ServerSession>> m_closed;
    uint16_t m_lastId = 0;
    CallbackEvent m_reapEvent;
};
