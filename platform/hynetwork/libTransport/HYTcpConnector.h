// Opens outgoing TCP connections for the sessions of one thread ("Client Connector"). Each
// accepted Connect completes exactly once, on that thread, through the client's OnConnectDone:
// with the connected socket, or with an error when the connect failed or timed out.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <utility>
#include <vector>

#include "HYEvent.h"
#include "HYInetAddress.h"
#include "HYTcpSocket.h"

class HYConnectClient {
public:
    virtual ~HYConnectClient() = default;
    // `socket` is the connected socket (not yet attached to any demultiplexer), or nullptr with
    // the system error (ETIMEDOUT after the time-out).
    virtual void OnConnectDone(std::unique_ptr<HYTcpSocket> socket, int error) = 0;
};

using SocketOptionList = std::vector<std::pair<int, int>>;

class HYTcpConnector {
public:
    HYTcpConnector();
    ~HYTcpConnector();
    HYTcpConnector(const HYTcpConnector&) = delete;
    HYTcpConnector& operator=(const HYTcpConnector&) = delete;

    // The calling thread's connector.
    static std::shared_ptr<HYTcpConnector> Current();

    // Opens a socket with `options`, starts connecting and watches it for `timeoutMs`. False
    // (and no completion) when the socket cannot be made or watched.
    bool Connect(const HYInetAddress& address, uint32_t timeoutMs, HYConnectClient* client,
                 const SocketOptionList& options);
    // Drops the client's pending connects without completing them.
    void Cancel(HYConnectClient* client);
    size_t PendingCount(const HYConnectClient* client = nullptr) const;

private:
    class Pending;

    void Finish(Pending& pending, int error);
    void DeliverFinished();

    std::list<std::unique_ptr<Pending>> m_pending;
    CallbackEvent m_finishedEvent;
};
