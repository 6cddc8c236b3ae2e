// The session an application derives from to talk to one server: resolves the server's name,
// connects with a time-out through the thread's connector, answers the server's offer, and
// reports each step through the callbacks of TcpSession. It can reconnect, and with a retry
// delay it tries again by itself after a failed connect or a closed connection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "HYTcpConnector.h"
#include "HYTimer.h"
#include "RemoteSession.h"

enum ConnectFailureReason : int {
    CFR_None = 0,
    CFR_StartFailed = 1,    // a reconnect or retry could not start the connect
    CFR_ConnectFailed = 4,  // the connect attempt failed or timed out
};

class ClientSession : public RemoteSession {
public:
    static constexpr uint32_t kDefaultConnectTimeoutMs = 10000;

    explicit ClientSession(uint32_t queueCapacity = kDefaultQueueCapacity);
    ~ClientSession() override;

    void SetServer(const std::string& host, uint16_t port);
    const std::string& ServerHost() const { return m_host; }
    uint16_t ServerPort() const { return m_port; }

    // Resolves the server and starts connecting (`timeoutMs` 0: 10000 ms); the outcome comes
    // through ConnectComplete or ConnectFailed. False when the name does not resolve or no
    // connect could be started. A connection still open or connecting is replaced: a session
    // never holds more than one.
    bool StartConnect(uint32_t timeoutMs);
    // The connect step, run now: does nothing while the session is closing (Close(true)).
    void Reconnect();
    void Close(bool abort) override;

    // 0: never retry by itself.
    void SetRetryDelay(uint32_t ms) { m_retryDelayMs = ms; }
    uint32_t RetryDelay() const { return m_retryDelayMs; }
    int FailureReason() const { return m_failureReason; }
    // Connects started (the tests count attempts with it).
    uint32_t ConnectAttempts() const { return m_attempts; }
    bool ConnectPending() const;
    bool ConnectInProgress() const override { return ConnectPending(); }

protected:
    void HandleControl(const MsgBufferRef& buffer) override;
    bool CancelConnect() override;
    void OnConnectionClosed() override;

private:
    class ConnectHandler;

    void OnConnectDone(std::unique_ptr<HYTcpSocket> socket, int error);
    // The retry timer's connect step: leaves an open or connecting session alone.
    void RetryStep();
    void ConnectStep();
    void StartRetryTimer();

    std::string m_host;
    uint16_t m_port = 0;
    uint32_t m_retryDelayMs = 0;
    int m_failureReason = CFR_None;
    uint32_t m_attempts = 0;
    std::unique_ptr<ConnectHandler> m_connectHandler;
    std::shared_ptr<HYTcpConnector> m_connector;
    CallbackTimer m_retryTimer;
};
