#include "SessionServer.h"

#include "LogMessage.h"

SessionServer::SessionServer(SessionFactory factory)
    : m_factory(std::move(factory)),
      m_reapEvent([this] { m_closed.clear(); }, "SessionServer::Reap", __FILE__, __LINE__) {}

SessionServer::~SessionServer() { Stop(); }

int SessionServer::Listen(const HYInetAddress& address) {
    return m_listener.Listen(address,
                             [this](std::unique_ptr<HYTcpSocket> socket) { OnAccept(std::move(socket)); });
}

void SessionServer::Stop() {
    m_listener.Close();
    for (auto& [id, session] : m_sessions) session->SetClosedFunction(nullptr);
    m_sessions.clear();
    m_closed.clear();
    m_reapEvent.Unlink();
}

ServerSession* SessionServer::Find(uint16_t sessionId) const {
    auto it = m_sessions.find(sessionId);
    return it == m_sessions.end() ? nullptr : it->second.get();
}

std::vector<ServerSession*> SessionServer::Sessions() const {
    std::vector<ServerSession*> list;
    for (const auto& [id, session] : m_sessions) list.push_back(session.get());
    return list;
}

uint16_t SessionServer::NextSessionId() {
    // Ids run from 1 to 65535 and skip those in use; 0 when all are taken.
    for (uint32_t tries = 0; tries < 0xFFFF; ++tries) {
        m_lastId = static_cast<uint16_t>(m_lastId == 0xFFFF ? 1 : m_lastId + 1);
        if (m_sessions.count(m_lastId) == 0) return m_lastId;
    }
    return 0;
}

void SessionServer::OnAccept(std::unique_ptr<HYTcpSocket> socket) {
    uint16_t id = NextSessionId();
    std::unique_ptr<ServerSession> session = id != 0 && m_factory ? m_factory() : nullptr;
    if (!session) {
        HY_LOG(LL_Warning, "PLAT_NET", "SessionServer::OnAccept",
               "No session for the connection from %s", socket->RemoteAddress().ToText(true).c_str());
        socket->Close(true);
        return;
    }
    session->SetClosedFunction([this](ServerSession& closed) { OnSessionClosed(closed); });
    ServerSession& entry = *session;
    m_sessions.emplace(id, std::move(session));
    if (!entry.Open(std::move(socket), id)) {
        entry.SetClosedFunction(nullptr);
        m_closed.push_back(std::move(m_sessions[id]));
        m_sessions.erase(id);
        m_reapEvent.Signal();
    }
}

void SessionServer::OnSessionClosed(ServerSession& session) {
    uint16_t id = session.Record().ownSessionId;
    auto it = m_sessions.find(id);
    if (it == m_sessions.end() || it->second.get() != &session) return;
    m_closed.push_back(std::move(it->second));
    m_sessions.erase(it);
    m_reapEvent.Signal();
}
