#include "HYTcpListener.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "LogMessage.h"


int HYTcpListener::Listen(const HYInetAddress& address, AcceptFunction onAccept, int backlog) {
    Close();
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        m_lastError = errno;
        return -1;
    }
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in bindTo = address.ToSockAddr();
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&bindTo), sizeof bindTo) != 0 ||
        ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        m_lastError = errno;
        ::close(fd);
        return -1;
    }
    m_local = HYInetAddress(bound);
    m_onAccept = std::move(onAccept);
    SetHandleAndMask(fd, IO_Readable);
    if (Attach() != 0) {
        m_lastError = EBADF;
        SetHandleAndMask(-1, 0);
        ::close(fd);
        return -1;
    }
    return 0;
}

void HYTcpListener::Close() {
    int fd = Handle();
    if (fd == -1) return;
    Detach();
    SetHandleAndMask(-1, 0);
    ::close(fd);
}

int HYTcpListener::OnReadable() {
    for (int i = 0; i < HYTcpListener::kAcceptsPerPass && Handle() != -1; ++i) {
        int fd = ::accept4(Handle(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                m_lastError = errno;
                HY_LOG(LL_Warning, "PLAT_NET", "HYTcpListener::OnReadable",
                       "accept failed (error:%d)", m_lastError);
            }
            break;
        }
        ++m_accepted;
        std::unique_ptr<HYTcpSocket> socket = HYTcpSocket::Adopt(fd);
        if (m_onAccept) m_onAccept(std::move(socket));
    }
    return 0;
}
