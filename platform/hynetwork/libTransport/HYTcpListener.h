// A listening TCP socket on the calling thread's demultiplexer: every connection it accepts is
// handed, as a non-blocking HYTcpSocket not yet attached anywhere, to the accept function.
#pragma once

#include <functional>
#include <memory>

#include "HYInetAddress.h"
#include "HYTcpSocket.h"
#include "IoHandle.h"

class HYTcpListener : public IoHandle {
public:
    using AcceptFunction = std::function<void(std::unique_ptr<HYTcpSocket>)>;

    HYTcpListener() = default;
    ~HYTcpListener() override;

    // Binds to `address` (port 0: any free port), listens and attaches to the calling thread's
    // demultiplexer. 0, or -1 with LastError.
    int Listen(const HYInetAddress& address, AcceptFunction onAccept, int backlog = 64);
    void Close();
    bool IsListening() const { return Handle() != -1; }
    // The bound address, with the port the system chose.
    const HYInetAddress& LocalAddress() const { return m_local; }
    int LastError() const { return m_lastError; }
    uint64_t AcceptedCount() const { return m_accepted; }

    bool IsPlainHandle() const override { return false; }
    int OnReadable() override;
    void OnError(int mask) override;

private:
    // Connections taken per readiness; the rest wait for the next pass so one busy listener does
    // not hold its thread.
    static constexpr int kAcceptsPerPass = 64;

    AcceptFunction m_onAccept;
    HYInetAddress m_local;
    int m_lastError = 0;
    uint64_t m_accepted = 0;
};
