#include "HYTcpSocket.h"

#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "SocketCounters.h"

namespace {

int SetNonBlocking(int fd, bool on) {
    int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0) return -1;
    flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return ::fcntl(fd, F_SETFL, flags) == 0 ? 0 : -1;
}

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

}  // namespace

std::unique_ptr<HYTcpSocket> HYTcpSocket::Adopt(int descriptor) {
    auto socket = std::make_unique<HYTcpSocket>();
    SetNonBlocking(descriptor, true);
    socket->SetHandleAndMask(descriptor, 0);
    socket->RefreshAddresses();
    ProcessSocketCounters().opened.fetch_add(1, std::memory_order_relaxed);
    return socket;
}

int HYTcpSocket::Open() {
    if (IsOpen()) return 0;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        m_lastError = errno;
        return -1;
    }
    m_peerClosed = false;
    SetHandleAndMask(fd, 0);
    ProcessSocketCounters().opened.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

int HYTcpSocket::Connect(const HYInetAddress& address) {
    if (!IsOpen()) return -1;
    m_remote = address;
    sockaddr_in target = address.ToSockAddr();
    if (::connect(Handle(), reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
        RefreshAddresses();
        return 0;
    }
    m_lastError = errno;
    if (m_lastError == EINPROGRESS || m_lastError == EINTR) return 1;
    return -1;
}

int HYTcpSocket::ConnectResult() {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(Handle(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error == 0) {
        // A socket that reports no error but has no peer has not connected (yet).
        sockaddr_in peer{};
        socklen_t peerLength = sizeof peer;
        if (::getpeername(Handle(), reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0)
            error = errno == ENOTCONN ? ECONNREFUSED : errno;
    }
    m_lastError = error;
    if (error == 0) RefreshAddresses();
    return error;
}

int HYTcpSocket::WaitConnected(int timeoutMs) {
    if (!IsOpen()) return -1;
    pollfd wait{Handle(), POLLOUT, 0};
    int ready;
    do {
        ready = ::poll(&wait, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) return 1;
    if (ready < 0) {
        m_lastError = errno;
        return -1;
    }
    return ConnectResult() == 0 ? 0 : -1;
}

int HYTcpSocket::ShutdownReceive() {
    if (IsOpen() && ::shutdown(Handle(), SHUT_RD) == 0) return 0;
    m_lastError = errno;
    return -1;
}

long HYTcpSocket::Read(void* bytes, size_t length) {
    if (!IsOpen()) return -1;
    ssize_t n;
    do {
        n = ::recv(Handle(), bytes, length, 0);
    } while (n < 0 && errno == EINTR);
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
    m_lastError = errno;
    return WouldBlock(m_lastError) ? 0 : -1;
}

long HYTcpSocket::Write(const iovec* pieces, int count) {
    if (!IsOpen()) return -1;
    msghdr message{};
    message.msg_iov = const_cast<iovec*>(pieces);
    message.msg_iovlen = static_cast<size_t>(count);
    ssize_t n;
    do {
        // No SIGPIPE when the peer has gone: the error comes back as EPIPE instead.
        n = ::sendmsg(Handle(), &message, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) {
        m_bytesWritten += static_cast<uint64_t>(n);
        ProcessSocketCounters().bytesWritten.fetch_add(static_cast<uint64_t>(n),
                                                       std::memory_order_relaxed);
        return n;
    }
    m_lastError = errno;
    return WouldBlock(m_lastError) ? 0 : -1;
}

int HYTcpSocket::SetOption(int index, int value) {
    if (!IsOpen()) return -1;
    int fd = Handle();
    int result;
    switch (index) {
        case HSO_NonBlocking: result = SetNonBlocking(fd, value != 0); break;
        case HSO_ReuseAddress:
            result = ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &value, sizeof value);
            break;
        case HSO_Linger: {
            linger setting{value != 0 ? 1 : 0, value};
            result = ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &setting, sizeof setting);
            break;
        }
        case HSO_SendBuffer:
            result = ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &value, sizeof value);
            break;
        case HSO_ReceiveBuffer:
            result = ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &value, sizeof value);
            break;
        case HSO_Broadcast:
            result = ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &value, sizeof value);
            break;
        case HSO_NoDelay:
            result = ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value);
            break;
        default: return -1;
    }
    if (result != 0) m_lastError = errno;
    return result == 0 ? 0 : -1;
}

int HYTcpSocket::GetOption(int index, int& value) {
    if (!IsOpen()) return -1;
    int fd = Handle();
    socklen_t length = sizeof value;
    int result;
    switch (index) {
        case HSO_NonBlocking: {
            int flags = ::fcntl(fd, F_GETFL, 0);
            if (flags < 0) return -1;
            value = (flags & O_NONBLOCK) ? 1 : 0;
            return 0;
        }
        case HSO_ReuseAddress: result = ::getsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &value, &length); break;
        case HSO_Linger: {
            linger setting{};
            socklen_t size = sizeof setting;
            result = ::getsockopt(fd, SOL_SOCKET, SO_LINGER, &setting, &size);
            value = setting.l_onoff ? setting.l_linger : 0;
            break;
        }
        case HSO_SendBuffer: result = ::getsockopt(fd, SOL_SOCKET, SO_SNDBUF, &value, &length); break;
        case HSO_ReceiveBuffer: result = ::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &value, &length); break;
        case HSO_Broadcast: result = ::getsockopt(fd, SOL_SOCKET, SO_BROADCAST, &value, &length); break;
        case HSO_NoDelay: result = ::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &value, &length); break;
        default: return -1;
    }
    if (result != 0) m_lastError = errno;
    return result == 0 ? 0 : -1;
}

void HYTcpSocket::Close(bool abortive) {
    if (!IsOpen()) return;
    int fd = Handle();
    Detach();
    SetHandleAndMask(-1, 0);
    if (abortive) {
        linger reset{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ProcessSocketCounters().abortiveCloses.fetch_add(1, std::memory_order_relaxed);
    } else {
        ProcessSocketCounters().gracefulCloses.fetch_add(1, std::memory_order_relaxed);
    }
    ::close(fd);
}

void HYTcpSocket::RefreshAddresses() {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(Handle(), reinterpret_cast<sockaddr*>(&address), &length) == 0)
        m_local = HYInetAddress(address);
    length = sizeof address;
    if (::getpeername(Handle(), reinterpret_cast<sockaddr*>(&address), &length) == 0)
        m_remote = HYInetAddress(address);
}
