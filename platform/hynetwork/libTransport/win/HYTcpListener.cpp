#include "HYTcpListener.h"

#include "LogMessage.h"

// Winsock's listening and accepting; the socket travels through IoHandle as int.
namespace {
SOCKET AsSocket(int handle) { return static_cast<SOCKET>(static_cast<intptr_t>(handle)); }
}  // namespace

int HYTcpListener::Listen(const HYInetAddress& address, AcceptFunction onAccept, int backlog) {
    Close();
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        m_lastError = WSAGetLastError();
        return -1;
    }
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    // No SO_REUSEADDR here: on Windows it lets a second socket take a port that is in use.
    // Exclusive use is the safe equivalent of the POSIX behaviour.
    BOOL exclusive = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                 sizeof exclusive);
    u_long nonBlocking = 1;
    sockaddr_in bindTo = address.ToSockAddr();
    sockaddr_in bound{};
    int length = sizeof bound;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0 ||
        ::bind(s, reinterpret_cast<const sockaddr*>(&bindTo), sizeof bindTo) != 0 ||
        ::listen(s, backlog) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        m_lastError = WSAGetLastError();
        closesocket(s);
        return -1;
    }
    m_local = HYInetAddress(bound);
    m_onAccept = std::move(onAccept);
    SetHandleAndMask(static_cast<int>(s), IO_Readable);
    if (Attach() != 0) {
        m_lastError = WSAENOTSOCK;
        SetHandleAndMask(-1, 0);
        closesocket(s);
        return -1;
    }
    return 0;
}

void HYTcpListener::Close() {
    int handle = Handle();
    if (handle == -1) return;
    Detach();
    SetHandleAndMask(-1, 0);
    closesocket(AsSocket(handle));
}

int HYTcpListener::OnReadable() {
    for (int i = 0; i < kAcceptsPerPass && Handle() != -1; ++i) {
        SOCKET s = ::accept(AsSocket(Handle()), nullptr, nullptr);
        if (s == INVALID_SOCKET) {
            int error = WSAGetLastError();
            if (error == WSAEINTR || error == WSAECONNRESET) continue;
            if (error != WSAEWOULDBLOCK) {
                m_lastError = error;
                HY_LOG(LL_Warning, "PLAT_NET", "HYTcpListener::OnReadable",
                       "accept failed (error:%d)", m_lastError);
            }
            break;
        }
        ++m_accepted;
        std::unique_ptr<HYTcpSocket> socket = HYTcpSocket::Adopt(static_cast<int>(s));
        if (m_onAccept) m_onAccept(std::move(socket));
    }
    return 0;
}
