// A non-blocking TCP socket watched by the owning thread's demultiplexer. Readiness goes to the
// socket's observer (the connector while connecting, then the session or the listener's user).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "HYInetAddress.h"
#include "SocketTypes.h"
#include "IoHandle.h"

class HYTcpSocket;

class HYSocketObserver {
public:
    virtual ~HYSocketObserver() = default;
    // Answers as the IoHandle operations do: -1 failed, 0 keep watching, positive stop watching.
    virtual int OnSocketReadable(HYTcpSocket& socket) = 0;
    virtual int OnSocketWritable(HYTcpSocket& socket) = 0;
    // The demultiplexer dropped the socket after a failure (`mask`: the failed bits).
    virtual void OnSocketError(HYTcpSocket& socket, int mask) = 0;
};

// Option indexes of SetOption and GetOption.
enum HYSocketOption : int {
    HSO_NonBlocking = 0,
    HSO_ReuseAddress = 1,
    HSO_Linger = 2,  // on when non-zero; the value is the linger time in seconds
    HSO_SendBuffer = 3,
    HSO_ReceiveBuffer = 4,
    HSO_Broadcast = 6,
    HSO_NoDelay = 7,  // TCP only
};

class HYTcpSocket : public IoHandle {
public:
    HYTcpSocket() = default;
    // Closes the socket abortively when it is still open.
    ~HYTcpSocket() override;

    // Takes over an accepted, connected descriptor (made non-blocking here).
    static std::unique_ptr<HYTcpSocket> Adopt(int descriptor);

    // Creates the socket, non-blocking: 0, or -1 with LastError.
    int Open();
    // Starts connecting: 0 connected at once, 1 in progress (writable when done), -1 failed.
    int Connect(const HYInetAddress& address);
    // The outcome of a connect in progress: 0 connected, else the socket error.
    int ConnectResult();
    // Waits up to `timeoutMs` for a connect in progress to end: 0 connected, 1 still in progress,
    // -1 failed (LastError tells why).
    int WaitConnected(int timeoutMs);
    // Ends the receiving side of the connection: 0, or -1 with LastError.
    int ShutdownReceive();

    // Bytes read (> 0); 0 when nothing is available now; -1 on an error or when the peer closed
    // (PeerClosed() then tells which).
    long Read(void* bytes, size_t length);
    // Bytes written (>= 0, 0 when the socket is full), or -1 on an error.
    long Write(const iovec* pieces, int count);
    long Write(const void* bytes, size_t length);

    // 0, or -1 for an unknown index or a refused option.
    int SetOption(int index, int value);
    int GetOption(int index, int& value);

    // Leaves the demultiplexer and closes the descriptor, counted as graceful or abortive (an
    // abortive close resets the connection). Closing a closed socket does nothing.
    void Close(bool abortive);
    bool IsOpen() const { return Handle() != -1; }
    bool PeerClosed() const { return m_peerClosed; }
    int LastError() const { return m_lastError; }

    const HYInetAddress& LocalAddress() const { return m_local; }
    const HYInetAddress& RemoteAddress() const { return m_remote; }
    // Reads both addresses from the connected socket.
    void RefreshAddresses();
    uint64_t BytesRead() const { return m_bytesRead; }
    uint64_t BytesWritten() const { return m_bytesWritten; }

    void SetObserver(HYSocketObserver* observer) { m_observer = observer; }
    HYSocketObserver* Observer() const { return m_observer; }

    bool IsPlainHandle() const override { return false; }
    int OnReadable() override;
    int OnWritable() override;
    void OnError(int mask) override;
    void Dump() const override;

private:
    HYSocketObserver* m_observer = nullptr;
    HYInetAddress m_local;
    HYInetAddress m_remote;
    uint64_t m_bytesRead = 0;
    uint64_t m_bytesWritten = 0;
    bool m_peerClosed = false;
    int m_lastError = 0;
};
