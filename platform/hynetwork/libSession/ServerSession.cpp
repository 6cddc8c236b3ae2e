#include "ServerSession.h"

#include "LogMessage.h"
#include "SessionControl.h"

ServerSession::ServerSession(uint32_t queueCapacity) : RemoteSession(queueCapacity) {}

bool ServerSession::Open(std::unique_ptr<HYTcpSocket> socket, uint16_t sessionId) {
    m_record.ownSessionId = sessionId;
    m_record.serverSessionId = sessionId;
    if (!OpenConnection(std::move(socket))) return false;
    SetState(SS_Connected);
    StartKeepAlive();
    return SendOffer();
}

void ServerSession::HandleControl(const MsgBufferRef& buffer) {
    if (buffer->m_msgType != SCO_SessionAccept) {
        RemoteSession::HandleControl(buffer);
        return;
    }
    if (State() != SS_Connected) return;  // one accept per connection
    SessionHandshake accept;
    if (!ReadHandshake(*buffer, true, accept) || !accept.hasOfferedId ||
        accept.offeredId != m_record.ownSessionId) {
        HY_LOG(LL_Warning, "PLAT_NET", "ServerSession::HandleControl",
               "Session accept from %s does not answer offer %u; closing the connection",
               m_record.peer.c_str(), m_record.ownSessionId);
        CloseConnection(true);
        return;
    }
    m_clientSessionId = accept.sessionId;
    m_record.offerSeconds = accept.seconds;
    m_record.offerMilliseconds = accept.milliseconds;
    BecomeEstablished();
}

void ServerSession::OnConnectionClosed() {
    RemoteSession::OnConnectionClosed();
    if (m_onClosed) m_onClosed(*this);
}
