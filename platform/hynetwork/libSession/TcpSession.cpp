#include "TcpSession.h"

#include "HYTimerSet.h"
#include "LogMessage.h"
#include "OsTime.h"
#include "ProcessingBudget.h"
#include "SessionControl.h"

namespace {
constexpr const char* kCategory = "PLAT_NET";
}  // namespace

// Hands the socket's readiness to the session that owns it.
class TcpSession::SocketHandler : public HYSocketObserver {
public:
    explicit SocketHandler(TcpSession& session) : m_session(session) {}
    int OnSocketReadable(HYTcpSocket& socket) override { return m_session.OnReadable(socket); }
    int OnSocketWritable(HYTcpSocket& socket) override { return m_session.OnWritable(socket); }
    void OnSocketError(HYTcpSocket& socket, int mask) override {
        m_session.OnSocketError(socket, mask);
    }

private:
    TcpSession& m_session;
};

TcpSession::TcpSession(uint32_t queueCapacity)
    : m_handler(std::make_unique<SocketHandler>(*this)),
      m_queueCapacity(queueCapacity == 0 ? kDefaultQueueCapacity : queueCapacity),
      m_queueHighMark(m_queueCapacity < 5 ? m_queueCapacity : m_queueCapacity / 5 * 4),
      m_timers(SessionTimers::Current()),
      m_keepAlive([this] { OnKeepAliveTimer(); }),
      m_closedEvent([this] { RunClosedHandling(); }, "TcpSession::ClosedConnection", __FILE__,
                    __LINE__),
      m_continueEvent(
          [this] {
              if (m_socket) OnReadable(*m_socket);
          },
          "TcpSession::Continue", __FILE__, __LINE__),
      m_reapEvent([this] { m_retired.clear(); }, "TcpSession::Reap", __FILE__, __LINE__) {
    uint64_t now = HY_OS::GetTimeMs();
    m_record.createdSeconds = static_cast<uint32_t>(now / 1000);
    m_record.createdMilliseconds = static_cast<uint32_t>(now % 1000);
}

TcpSession::~TcpSession() {
    if (m_timers) m_timers->KeepAliveList().Stop(m_keepAlive);
    if (m_socket) m_socket->Close(true);
}

uint32_t TcpSession::ClockMs() const {
    // The timer set's clock: the one every timer of the thread runs on, refreshed on each pass
    // whether or not the loop refreshes the thread's own clock.
    std::shared_ptr<HYTimerSet> set = HYTimerSet::Current();
    return set ? static_cast<uint32_t>(set->Now()) : 0;
}

bool TcpSession::OpenConnection(std::unique_ptr<HYTcpSocket> socket) {
    DropConnection();
    socket->SetObserver(m_handler.get());
    socket->SetMask(IO_Readable);
    if (socket->Attach() != 0) {
        socket->Close(true);
        return false;
    }
    m_socket = std::move(socket);
    m_closing = false;
    m_closeWhenDrained = false;
    m_peerIp = m_socket->RemoteAddress().ToText(false);
    if (m_record.peer == "unknown") m_record.peer = m_socket->RemoteAddress().ToText(true);
    return true;
}

void TcpSession::StartKeepAlive() {
    m_awaitingReply = false;
    m_timers->KeepAliveList().Start(m_keepAlive);
}

void TcpSession::StopConnectionWork() {
    m_timers->KeepAliveList().Stop(m_keepAlive);
    m_queue.clear();
    m_framer.ResetReader();
    m_framer.ResetWriter();
    m_awaitingReply = false;
    m_closeWhenDrained = false;
    m_queueHighTold = false;
    m_continueEvent.Unlink();
}

void TcpSession::Retire() {
    m_retired.push_back(std::move(m_socket));
    m_reapEvent.Signal();
}

void TcpSession::CloseConnection(bool abortive) {
    if (!m_socket) return;
    m_socket->Close(abortive);
    Retire();
    StopConnectionWork();
    PostClosedHandling();
}

void TcpSession::DropConnection() {
    if (!m_socket) return;
    m_socket->Close(true);
    Retire();
    StopConnectionWork();
}

void TcpSession::PostClosedHandling() {
    m_closePending = true;
    m_closedEvent.Signal();
}

void TcpSession::RunClosedHandling() {
    if (!m_closePending) return;
    m_closePending = false;
    // A connect started since the close is a new life of the session: leave its state alone.
    if (!m_socket && !ConnectInProgress()) SetState(SS_Closed);
    OnConnectionClosed();
}

void TcpSession::OnConnectionClosed() { AppCloseConnection(); }

void TcpSession::Close(bool abort) {
    if (m_closing) return;
    if (abort) m_closing = true;
    if (m_socket) {
        if (abort || (m_queue.empty() && !m_framer.IsWriting())) {
            CloseConnection(abort);
        } else {
            m_closeWhenDrained = true;
        }
        return;
    }
    if (CancelConnect()) PostClosedHandling();
}

bool TcpSession::SendMessage(const void* bytes, uint32_t length) {
    if (length >= kMaxMessageLength) {
        m_stats.Add(&SessionCounters::sendRefusals);
        return false;
    }
    MsgBufferRef buffer = MsgBuffer::Create(length + 1);
    if (!buffer) {
        m_stats.Add(&SessionCounters::sendRefusals);
        return false;
    }
    buffer->Append(bytes, length);
    buffer->AppendU8(0);
    buffer->m_control = 0;
    buffer->m_msgType = 0;
    if (!TxMessage(buffer)) return false;
    m_stats.Add(&SessionCounters::messagesSent);
    m_stats.Add(&SessionCounters::bytesSent, uint64_t{length} + 1);
    return true;
}

bool TcpSession::TxMessage(MsgBufferRef buffer) {
    if (!buffer) return false;
    uint32_t rc = 0;
    if (buffer->TotalLength() > kMaxMessageLength) rc = TXR_TooLong;
    else if (!m_socket || m_closeWhenDrained) rc = TXR_NotOpen;
    else if (m_queue.size() >= m_queueCapacity) rc = TXR_QueueFull;
    if (rc != 0) {
        Refuse(*buffer, rc);
        return false;
    }
    m_queue.push_back(std::move(buffer));
    if (m_queue.size() >= m_queueHighMark && !m_queueHighTold) {
        m_queueHighTold = true;
        HY_LOG(LL_Warning, kCategory, "TcpSession::TxMessage",
               "Send queue to %s reached %u messages", m_peerIp.c_str(), m_queueHighMark);
    }
    m_socket->AddInterest(IO_Writable);
    return true;
}

void TcpSession::Refuse(const MsgBuffer& buffer, uint32_t rc) {
    m_stats.Add(&SessionCounters::sendRefusals);
    if (m_refusalLogged) return;
    if (rc != TXR_QueueFull && State() == SS_Closed) return;
    m_refusalLogged = true;
    HY_LOG(LL_Warning, kCategory, "TcpSession::TxMessage", "TCP msg dropped. rc=0x%X state=%u", rc,
           static_cast<unsigned>(State()));
    int byte0 = buffer.Length() > 0 ? buffer.Data()[0] : 0;
    int byte1 = buffer.Length() > 1 ? buffer.Data()[1] : 0;
    HY_LOG(LL_DebugMed, kCategory, "TcpSession::TxMessage", "byte0=%03d byte1=%03d ip=%s", byte0,
           byte1, m_peerIp.c_str());
}

int TcpSession::OnWritable(HYTcpSocket& socket) {
    if (&socket != m_socket.get()) return 1;
    ProcessingBudget budget;
    for (;;) {
        if (!m_framer.IsWriting()) {
            if (m_queue.empty()) {
                if (m_closeWhenDrained) CloseConnection(false);
                return 1;  // nothing to send: stop watching for room
            }
            m_framer.StartWrite(std::move(m_queue.front()));
            m_queue.pop_front();
        }
        int result = m_framer.WriteCurrent(socket);
        if (result == FWR_Blocked) return 0;
        if (result == FWR_Error) {
            HY_LOG(LL_Warning, kCategory, "TcpSession::OnWritable",
                   "Write to %s failed (error:%d); closing the connection", m_peerIp.c_str(),
                   socket.LastError());
            CloseConnection(true);
            return 1;
        }
        // The socket stays writable: the next pass goes on where the budget stopped.
        if (budget.Expired()) return 0;
    }
}

int TcpSession::OnReadable(HYTcpSocket& socket) {
    if (&socket != m_socket.get()) return 1;
    ProcessingBudget budget;
    for (;;) {
        int result = m_framer.ReadCurrent(socket);
        if (result == FRR_Incomplete) return 0;
        if (result == FRR_Error) {
            if (socket.PeerClosed()) {
                CloseConnection(false);
            } else {
                HY_LOG(LL_Warning, kCategory, "TcpSession::OnReadable",
                       "Frame error %d on the connection to %s; closing it", m_framer.ReadError(),
                       m_peerIp.c_str());
                CloseConnection(true);
            }
            return 1;
        }
        Deliver(m_framer.TakeMessage());
        // The message's handler may have closed or replaced the connection.
        if (&socket != m_socket.get()) return 1;
        if (budget.Expired()) {
            // Bytes already taken from the socket do not wake the demultiplexer again.
            if (m_framer.HasStagedBytes()) m_continueEvent.Signal();
            return 0;
        }
    }
}

void TcpSession::OnSocketError(HYTcpSocket& socket, int mask) {
    if (&socket != m_socket.get()) return;
    HY_LOG(LL_Warning, kCategory, "TcpSession::OnSocketError",
           "Connection to %s failed (mask:%d); closing it", m_peerIp.c_str(), mask);
    CloseConnection(true);
}

void TcpSession::Deliver(const MsgBufferRef& buffer) {
    if (buffer->m_control) {
        m_stats.Add(&SessionCounters::controlHandled);
        HandleControl(buffer);
        return;
    }
    m_stats.Add(&SessionCounters::messagesReceived);
    m_stats.Add(&SessionCounters::bytesReceived, buffer->Length());
    AppProcessMessage(buffer);
}

void TcpSession::HandleControl(const MsgBufferRef& buffer) {
    switch (buffer->m_msgType) {
        case SCO_KeepAlive:
            // Answered with the same payload; only the opcode changes.
            buffer->m_msgType = SCO_KeepAliveReply;
            TxMessage(buffer);
            break;
        case SCO_KeepAliveReply: HandleKeepAliveReply(*buffer); break;
        default: break;  // statistics and opcodes of other session kinds are dropped
    }
}

void TcpSession::HandleKeepAliveReply(MsgBuffer& buffer) {
    uint16_t sessionId = 0;
    uint32_t echoed = 0;
    if (buffer.ReadU16(sessionId) != 0 || buffer.ReadU32(echoed) != 0) return;
    uint32_t roundTrip = ClockMs() - echoed;
    if (roundTrip > kMaxKeepAliveRoundTripMs) return;
    m_stats.Add(&SessionCounters::keepAliveReplies);
    m_stats.Add(&SessionCounters::keepAliveRttTotal, roundTrip);
    m_stats.KeepMax(&SessionCounters::keepAliveRttMax, roundTrip);
    m_awaitingReply = false;
}

void TcpSession::OnKeepAliveTimer() {
    if (!m_socket) return;
    // A missed reply is only counted: a session is never closed for it.
    if (m_awaitingReply) m_stats.Add(&SessionCounters::keepAliveMissed);
    TxMessage(BuildKeepAlive(m_record.serverSessionId, ClockMs()));
    m_awaitingReply = true;
    m_timers->KeepAliveList().Start(m_keepAlive);
}
