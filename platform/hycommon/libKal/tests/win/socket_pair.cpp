#include <winsock2.h>
#include <ws2tcpip.h>

#include "SocketPair.h"

namespace kaltest {

namespace {
int AsInt(SOCKET s) { return s == INVALID_SOCKET ? -1 : static_cast<int>(s); }
SOCKET AsSocket(int fd) { return static_cast<SOCKET>(static_cast<intptr_t>(fd)); }
}  // namespace

// Windows has no socketpair: a listener on a loopback port of the system's choosing accepts
// one connection from a socket made here, then closes.
SocketPair::SocketPair() {
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    SOCKET client = INVALID_SOCKET, server = INVALID_SOCKET;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        listen(listener, 1) == 0 &&
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (client != INVALID_SOCKET &&
            connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            server = accept(listener, nullptr, nullptr);
        }
    }
    closesocket(listener);
    if (server == INVALID_SOCKET) {
        if (client != INVALID_SOCKET) closesocket(client);
        return;
    }
    fds[0] = AsInt(server);
    fds[1] = AsInt(client);
}

SocketPair::~SocketPair() {
    Close(0);
    Close(1);
}

bool SocketPair::Send() { return send(AsSocket(fds[1]), "x", 1, 0) == 1; }

void SocketPair::Close(int which) {
    if (fds[which] != -1) closesocket(AsSocket(fds[which]));
    fds[which] = -1;
}

long ReadSome(int fd, void* data, size_t size) {
    return recv(AsSocket(fd), static_cast<char*>(data), static_cast<int>(size), 0);
}

}  // namespace kaltest
