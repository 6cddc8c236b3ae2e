// A session over one TCP connection: frames in and out through the stream framer, the send
// queue, the control messages every session answers (keep-alive and its reply), keep-alives
// every 10 seconds, and the closed-connection handling. Derived classes add the handshake and
// the way a connection is made (ClientSession connects, ServerSession is handed one).
//
// A session and everything it owns belong to the thread that made it; every callback, timer and
// send happens on that thread's loop.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "FTList.h"
#include "HYEvent.h"
#include "HYStreamFramer.h"
#include "HYTcpSocket.h"
#include "MsgBuffer.h"
#include "SessionRecord.h"
#include "SessionStatistics.h"
#include "SessionTimers.h"

enum SessionState : int {
    SS_Initial = 0,
    SS_Connecting = 2,
    SS_Connected = 3,    // TCP up, waiting for the handshake
    SS_Established = 4,  // handshake done
    SS_Closed = 5,       // failed or closed
};

// Why TxMessage refused a message (the "rc" of its log line).
enum TxRefusal : uint32_t {
    TXR_NotOpen = 0x4,
    TXR_QueueFull = 0x8,
    TXR_TooLong = 0x10,
};

class TcpSession {
public:
    static constexpr uint32_t kDefaultQueueCapacity = 10000;
    static constexpr uint32_t kMaxMessageLength = 16u * 1024 * 1024;
    static constexpr uint32_t kMaxKeepAliveRoundTripMs = 60000;

    // `queueCapacity`: the most messages the send queue holds; the connection is told once
    // when the queue reaches four fifths of it (8,000 of 10,000).
    explicit TcpSession(uint32_t queueCapacity = kDefaultQueueCapacity);
    virtual ~TcpSession();
    TcpSession(const TcpSession&) = delete;
    TcpSession& operator=(const TcpSession&) = delete;

    // The TCP connection is open (client sessions).
    virtual void ConnectComplete() {}
    // A connect failed; FailureReason() of the client session says how.
    virtual void ConnectFailed() {}

    // Sends one application message: its bytes and one zero byte. False when it is longer
    // than 16 MiB or TxMessage refuses it.
    virtual bool SendMessage(const void* bytes, uint32_t length);
    // Queues one message (control or application) for sending; false when refused: no open
    // connection, a full queue, or more than 16 MiB. Only a session's first refusal is logged.
    virtual bool TxMessage(MsgBufferRef buffer);
    // With `abort`: marks the session closing, closes the connection at once (or drops the
    // connect in progress) and lets the closed-connection handling run; a session already
    // closing ignores further calls. Without: closes once the queued messages are sent.
    virtual void Close(bool abort);

protected:
    // A received control message (the read position is at its payload start).
    virtual void HandleControl(const MsgBufferRef& buffer);
    // Drops a connect in progress; true when there was one.
    virtual bool CancelConnect() { return false; }
    virtual bool ConnectInProgress() const { return false; }
    // The closed-connection handling after the state change: calls AppCloseConnection.
    virtual void OnConnectionClosed();

public:
    // An application message arrived (its payload: the message bytes and the zero byte); true
    // when handled.
    virtual bool AppProcessMessage(const MsgBufferRef& buffer) = 0;
    // The handshake completed (state 4).
    virtual void AppSessionEstablished() {}
    // The connection closed, by either side or after an error.
    virtual void AppCloseConnection() {}

    int State() const { return m_state.load(std::memory_order_acquire); }
    const SessionRecord& Record() const { return m_record; }
    void SetName(std::string name) { m_record.name = std::move(name); }
    const SessionCounters& Counters() const { return m_stats.Session(); }
    bool IsConnectionOpen() const { return m_socket != nullptr; }
    bool IsClosing() const { return m_closing; }
    size_t QueueLength() const { return m_queue.size(); }
    uint32_t QueueCapacity() const { return m_queueCapacity; }
    bool QueueHighReported() const { return m_queueHighTold; }
    const HYTcpSocket* Socket() const { return m_socket.get(); }
    bool KeepAliveRunning() const { return m_keepAlive.IsRunning(); }
    bool AwaitingKeepAliveReply() const { return m_awaitingReply; }

protected:
    void SetState(int state) { m_state.store(state, std::memory_order_release); }
    // Takes over a connected socket: watches it for reading, clears the closing mark and notes
    // the peer. False (socket closed) when it cannot be watched.
    bool OpenConnection(std::unique_ptr<HYTcpSocket> socket);
    void StartKeepAlive();
    // Closes the connection and queues the closed-connection handling.
    void CloseConnection(bool abortive);
    // Closes the connection without the closed-connection handling: a new one replaces it.
    void DropConnection();
    // Queues the closed-connection handling without a connection to close (a dropped connect).
    void PostClosedHandling();
    // The thread clock's milliseconds, cut to 32 bits.
    uint32_t ClockMs() const;

    SessionRecord m_record;
    SessionStatistics m_stats;

private:
    class SocketHandler;

    int OnReadable(HYTcpSocket& socket);
    int OnWritable(HYTcpSocket& socket);
    void OnSocketError(HYTcpSocket& socket, int mask);
    void Deliver(const MsgBufferRef& buffer);
    void HandleKeepAliveReply(MsgBuffer& buffer);
    void OnKeepAliveTimer();
    void RunClosedHandling();
    void Refuse(const MsgBuffer& buffer, uint32_t rc);
    void Retire();
    void StopConnectionWork();

    std::atomic<int> m_state{SS_Initial};
    std::unique_ptr<SocketHandler> m_handler;
    std::unique_ptr<HYTcpSocket> m_socket;
    // Closed sockets wait here until no handler of theirs can be running.
    std::vector<std::unique_ptr<HYTcpSocket>> m_retired;
    HYStreamFramer<HYTcpSocket> m_framer;
    std::deque<MsgBufferRef> m_queue;
    uint32_t m_queueCapacity;
    uint32_t m_queueHighMark;
    bool m_queueHighTold = false;
    bool m_refusalLogged = false;
    bool m_closeWhenDrained = false;
    bool m_closing = false;
    bool m_closePending = false;
    bool m_awaitingReply = false;
    std::string m_peerIp = "unknown";
    std::shared_ptr<SessionTimers> m_timers;
    FTListTimer m_keepAlive;
    CallbackEvent m_closedEvent;
    CallbackEvent m_continueEvent;
    CallbackEvent m_reapEvent;
};
