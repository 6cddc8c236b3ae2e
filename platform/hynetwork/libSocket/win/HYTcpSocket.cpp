#include "HYTcpSocket.h"

#include <mutex>
#include <set>

#include "SocketCounters.h"

// Winsock's half of the TCP socket. Sockets travel through IoHandle as int (Windows keeps socket
// handles within 32 bits); errors are Winsock's codes.
namespace {

SOCKET AsSocket(int handle) { return static_cast<SOCKET>(static_cast<intptr_t>(handle)); }

// Winsock cannot be asked whether a socket blocks, so the few switched to blocking are noted.
struct BlockingSockets {
    std::mutex lock;
    std::set<int> handles;
};

BlockingSockets& Blocking() {
    static BlockingSockets* sockets = new BlockingSockets();
    return *sockets;
}

int SetNonBlocking(int handle, bool on) {
    u_long mode = on ? 1 : 0;
    if (ioctlsocket(AsSocket(handle), FIONBIO, &mode) != 0) return -1;
    BlockingSockets& blocking = Blocking();
    std::lock_guard<std::mutex> hold(blocking.lock);
    if (on) blocking.handles.erase(handle); else blocking.handles.insert(handle);
    return 0;
}

// New sockets are not handed down to programs this process starts.
void KeepFromChildren(SOCKET socket) {
    SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
}

}  // namespace

std::unique_ptr<HYTcpSocket> HYTcpSocket::Adopt(int descriptor) {
    auto socket = std::make_unique<HYTcpSocket>();
    // An accepted socket inherits the listener's event binding; it gets its own when attached.
    WSAEventSelect(AsSocket(descriptor), nullptr, 0);
    SetNonBlocking(descriptor, true);
    KeepFromChildren(AsSocket(descriptor));
    socket->SetHandleAndMask(descriptor, 0);
    socket->RefreshAddresses();
    ProcessSocketCounters().opened.fetch_add(1, std::memory_order_relaxed);
    return socket;
}

int HYTcpSocket::Open() {
    if (IsOpen()) return 0;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        m_lastError = WSAGetLastError();
        return -1;
    }
    int handle = static_cast<int>(s);
    if (SetNonBlocking(handle, true) != 0) {
        m_lastError = WSAGetLastError();
        closesocket(s);
        return -1;
    }
    KeepFromChildren(s);
    m_peerClosed = false;
    SetHandleAndMask(handle, 0);
    ProcessSocketCounters().opened.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

int HYTcpSocket::Connect(const HYInetAddress& address) {
    if (!IsOpen()) return -1;
    m_remote = address;
    sockaddr_in target = address.ToSockAddr();
    if (::connect(AsSocket(Handle()), reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
        RefreshAddresses();
        return 0;
    }
    m_lastError = WSAGetLastError();
    if (m_lastError == WSAEWOULDBLOCK || m_lastError == WSAEINPROGRESS) return 1;
    return -1;
}

int HYTcpSocket::ConnectResult() {
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(AsSocket(Handle()), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                     &length) != 0) {
        error = WSAGetLastError();
    }
    if (error == 0) {
        // A socket that reports no error but has no peer has not connected (yet).
        sockaddr_in peer{};
        int peerLength = sizeof peer;
        if (::getpeername(AsSocket(Handle()), reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) {
            int why = WSAGetLastError();
            error = why == WSAENOTCONN ? WSAECONNREFUSED : why;
        }
    }
    m_lastError = error;
    if (error == 0) RefreshAddresses();
    return error;
}

int HYTcpSocket::WaitConnected(int timeoutMs) {
    if (!IsOpen()) return -1;
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(AsSocket(Handle()), &writable);
    FD_SET(AsSocket(Handle()), &failed);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    int ready = ::select(0, nullptr, &writable, &failed, timeoutMs < 0 ? nullptr : &limit);
    if (ready == 0) return 1;
    if (ready == SOCKET_ERROR) {
        m_lastError = WSAGetLastError();
        return -1;
    }
    return ConnectResult() == 0 ? 0 : -1;
}

int HYTcpSocket::ShutdownReceive() {
    if (IsOpen() && ::shutdown(AsSocket(Handle()), SD_RECEIVE) == 0) return 0;
    m_lastError = WSAGetLastError();
    return -1;
}

long HYTcpSocket::Read(void* bytes, size_t length) {
    if (!IsOpen()) return -1;
    int chunk = length > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(length);
    int n = ::recv(AsSocket(Handle()), static_cast<char*>(bytes), chunk, 0);
    if (n > 0) {
        m_bytesRead += static_cast<uint64_t>(n);
        ProcessSocketCounters().bytesRead.fetch_add(static_cast<uint64_t>(n),
                                                    std::memory_order_relaxed);
        return n;
    }
    if (n == 0) {
        if (length == 0) return 0;
        m_peerClosed = true;
        return -1;
    }
    m_lastError = WSAGetLastError();
    return m_lastError == WSAEWOULDBLOCK ? 0 : -1;
}

long HYTcpSocket::Write(const iovec* pieces, int count) {
    if (!IsOpen() || count < 0) return -1;
    WSABUF buffers[16];
    if (count > 16) count = 16;  // the rest goes with the next write, as a short write would
    for (int i = 0; i < count; ++i) {
        buffers[i].buf = static_cast<char*>(pieces[i].iov_base);
        buffers[i].len = pieces[i].iov_len > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<ULONG>(pieces[i].iov_len);
    }
    DWORD sent = 0;
    if (WSASend(AsSocket(Handle()), buffers, static_cast<DWORD>(count), &sent, 0, nullptr, nullptr) == 0) {
        m_bytesWritten += sent;
        ProcessSocketCounters().bytesWritten.fetch_add(sent, std::memory_order_relaxed);
        return static_cast<long>(sent);
    }
    m_lastError = WSAGetLastError();
    return m_lastError == WSAEWOULDBLOCK ? 0 : -1;
}

int HYTcpSocket::SetOption(int index, int value) {
    if (!IsOpen()) return -1;
    SOCKET s = AsSocket(Handle());
    auto set = [&](int level, int name) {
        return ::setsockopt(s, level, name, reinterpret_cast<const char*>(&value), sizeof value);
    };
    int result;
    switch (index) {
        case HSO_NonBlocking: result = SetNonBlocking(Handle(), value != 0); break;
        case HSO_ReuseAddress: result = set(SOL_SOCKET, SO_REUSEADDR); break;
        case HSO_Linger: {
            linger setting{static_cast<u_short>(value != 0 ? 1 : 0), static_cast<u_short>(value)};
            result = ::setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&setting),
                                  sizeof setting);
            break;
        }
        case HSO_SendBuffer: result = set(SOL_SOCKET, SO_SNDBUF); break;
        case HSO_ReceiveBuffer: result = set(SOL_SOCKET, SO_RCVBUF); break;
        case HSO_Broadcast: result = set(SOL_SOCKET, SO_BROADCAST); break;
        case HSO_NoDelay: result = set(IPPROTO_TCP, TCP_NODELAY); break;
        default: return -1;
    }
    if (result != 0) m_lastError = WSAGetLastError();
    return result == 0 ? 0 : -1;
}

int HYTcpSocket::GetOption(int index, int& value) {
    if (!IsOpen()) return -1;
    SOCKET s = AsSocket(Handle());
    int length = sizeof value;
    auto get = [&](int level, int name) {
        value = 0;
        return ::getsockopt(s, level, name, reinterpret_cast<char*>(&value), &length);
    };
    int result;
    switch (index) {
        case HSO_NonBlocking: {
            BlockingSockets& blocking = Blocking();
            std::lock_guard<std::mutex> hold(blocking.lock);
            value = blocking.handles.count(Handle()) ? 0 : 1;
            return 0;
        }
        case HSO_ReuseAddress: result = get(SOL_SOCKET, SO_REUSEADDR); break;
        case HSO_Linger: {
            linger setting{};
            int size = sizeof setting;
            result = ::getsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&setting), &size);
            value = setting.l_onoff ? setting.l_linger : 0;
            break;
        }
        case HSO_SendBuffer: result = get(SOL_SOCKET, SO_SNDBUF); break;
        case HSO_ReceiveBuffer: result = get(SOL_SOCKET, SO_RCVBUF); break;
        case HSO_Broadcast: result = get(SOL_SOCKET, SO_BROADCAST); break;
        case HSO_NoDelay: result = get(IPPROTO_TCP, TCP_NODELAY); break;
        default: return -1;
    }
    if (result != 0) m_lastError = WSAGetLastError();
    return result == 0 ? 0 : -1;
}

void HYTcpSocket::Close(bool abortive) {
    if (!IsOpen()) return;
    int handle = Handle();
    Detach();
    SetHandleAndMask(-1, 0);
    if (abortive) {
        linger reset{1, 0};
        ::setsockopt(AsSocket(handle), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset),
                     sizeof reset);
        ProcessSocketCounters().abortiveCloses.fetch_add(1, std::memory_order_relaxed);
    } else {
        ProcessSocketCounters().gracefulCloses.fetch_add(1, std::memory_order_relaxed);
    }
    {
        BlockingSockets& blocking = Blocking();
        std::lock_guard<std::mutex> hold(blocking.lock);
        blocking.handles.erase(handle);
    }
    closesocket(AsSocket(handle));
}

void HYTcpSocket::RefreshAddresses() {
    sockaddr_in address{};
    int length = sizeof address;
    if (::getsockname(AsSocket(Handle()), reinterpret_cast<sockaddr*>(&address), &length) == 0)
        m_local = HYInetAddress(address);
    length = sizeof address;
    if (::getpeername(AsSocket(Handle()), reinterpret_cast<sockaddr*>(&address), &length) == 0)
        m_remote = HYInetAddress(address);
}
