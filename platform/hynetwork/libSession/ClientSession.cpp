#include "ClientSession.h"

#include "LogMessage.h"
#include "SessionControl.h"

namespace {
constexpr const char* kCategory = "PLAT_NET";
}  // namespace

class ClientSession::ConnectHandler : public HYConnectClient {
public:
    explicit ConnectHandler(ClientSession& session) : m_session(session) {}
    void OnConnectDone(std::unique_ptr<HYTcpSocket> socket, int error) override {
        m_session.OnConnectDone(std::move(socket), error);
    }

private:
    ClientSession& m_session;
};

ClientSession::ClientSession(uint32_t queueCapacity)
    : RemoteSession(queueCapacity),
      m_connectHandler(std::make_unique<ConnectHandler>(*this)),
      m_connector(HYTcpConnector::Current()),
      m_retryTimer([this] { RetryStep(); }, "ClientSession::Retry", __FILE__, __LINE__) {}

ClientSession::~ClientSession() {
    if (m_connector) m_connector->Cancel(m_connectHandler.get());
    m_retryTimer.Stop();
}

void ClientSession::SetServer(const std::string& host, uint16_t port) {
    m_host = host;
    m_port = port;
}

bool ClientSession::ConnectPending() const {
    return m_connector && m_connector->PendingCount(m_connectHandler.get()) != 0;
}

bool ClientSession::StartConnect(uint32_t timeoutMs) {
    HYInetAddress address;
    if (address.SetAddress(m_host, m_port) != 0) {
        HY_LOG(LL_Error, kCategory, "ClientSession::StartConnect",
               "Failed to resolve server address (%s).", m_host.c_str());
        return false;
    }
    HY_LOG(LL_Status, kCategory, "ClientSession::StartConnect",
           "Server address (%s) resolved to (%s) .", m_host.c_str(),
           address.Family() == HYInetAddress::kFamily ? address.ToText(false).c_str() : "Unknown");
    // One connection per session: a connection still open, or a connect still running, gives
    // way to the new one.
    DropConnection();
    if (m_connector) m_connector->Cancel(m_connectHandler.get());
    SetState(SS_Connecting);
    const SocketOptionList options = {{HSO_NonBlocking, 1}};
    uint32_t timeout = timeoutMs == 0 ? kDefaultConnectTimeoutMs : timeoutMs;
    if (!m_connector || !m_connector->Connect(address, timeout, m_connectHandler.get(), options)) {
        SetState(SS_Closed);
        return false;
    }
    ++m_attempts;
    return true;
}

void ClientSession::OnConnectDone(std::unique_ptr<HYTcpSocket> socket, int error) {
    if (socket && OpenConnection(std::move(socket))) {
        ConnectComplete();
        // ConnectComplete may already have closed or replaced the connection.
        if (IsConnectionOpen() && State() == SS_Connecting) {
            StartKeepAlive();
            SetState(SS_Connected);
        }
        return;
    }
    HY_LOG(LL_Status, kCategory, "ClientSession::OnConnectDone",
           "Connect to %s:%u failed (error:%d)", m_host.c_str(), m_port, error);
    SetState(SS_Closed);
    m_failureReason = CFR_ConnectFailed;
    ConnectFailed();
    if (!IsClosing() && m_retryDelayMs != 0) StartRetryTimer();
}

void ClientSession::StartRetryTimer() { m_retryTimer.StartTimer(m_retryDelayMs); }

void ClientSession::RetryStep() {
    // The timer can fire after a reconnect made meanwhile has already connected, or is still
    // connecting: that one is kept.
    if (IsConnectionOpen() || ConnectPending()) return;
    ConnectStep();
}

void ClientSession::Reconnect() { ConnectStep(); }

void ClientSession::ConnectStep() {
    if (IsClosing()) return;
    if (StartConnect(0)) return;
    m_failureReason = CFR_StartFailed;
    ConnectFailed();
    // Without a retry delay the session does not retry by itself.
    if (m_retryDelayMs != 0) StartRetryTimer();
}

void ClientSession::Close(bool abort) {
    if (abort) m_retryTimer.Stop();
    RemoteSession::Close(abort);
}

bool ClientSession::CancelConnect() {
    if (!ConnectPending()) return false;
    m_connector->Cancel(m_connectHandler.get());
    return true;
}

void ClientSession::OnConnectionClosed() {
    m_retryTimer.Stop();
    RemoteSession::OnConnectionClosed();
    if (!IsClosing() && m_retryDelayMs != 0) StartRetryTimer();
}

void ClientSession::HandleControl(const MsgBufferRef& buffer) {
    if (buffer->m_msgType != SCO_SessionOffer) {
        RemoteSession::HandleControl(buffer);
        return;
    }
    SessionHandshake offer;
    if (!ReadHandshake(*buffer, false, offer)) return;
    m_record.serverSessionId = offer.sessionId;
    if (offer.hasTime) {
        m_record.offerSeconds = offer.seconds;
        m_record.offerMilliseconds = offer.milliseconds;
    }
    SendAccept(offer.sessionId);
    BecomeEstablished();
}
