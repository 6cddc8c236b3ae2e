#include "loopback_socket.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace loopback {

namespace {

#ifdef _WIN32
using Native = SOCKET;
constexpr int kShutdownBoth = SD_BOTH;
constexpr int kSendFlags = 0;
Native ToNative(Socket socket) { return static_cast<Native>(socket); }
Socket FromNative(Native native) { return native == INVALID_SOCKET ? -1 : static_cast<Socket>(native); }
void CloseNative(Native native) { closesocket(native); }
// Winsock must be started once per process before any socket call.
struct WinsockStarted {
    WinsockStarted() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};
void EnsureStarted() { static WinsockStarted started; }
#else
using Native = int;
constexpr int kShutdownBoth = SHUT_RDWR;
constexpr int kSendFlags = MSG_NOSIGNAL;
Native ToNative(Socket socket) { return static_cast<Native>(socket); }
Socket FromNative(Native native) { return native < 0 ? -1 : native; }
void CloseNative(Native native) { ::close(native); }
void EnsureStarted() {}
#endif

}  // namespace

Socket Listen(uint16_t& port) {
    EnsureStarted();
    Native listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (FromNative(listener) == -1) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        ::listen(listener, 8) != 0) {
        CloseNative(listener);
        return -1;
    }
    port = ntohs(address.sin_port);
    return FromNative(listener);
}

Socket Accept(Socket listener) { return FromNative(::accept(ToNative(listener), nullptr, nullptr)); }

bool ReceiveByte(Socket socket, char& byte) { return ::recv(ToNative(socket), &byte, 1, 0) == 1; }

bool SendAll(Socket socket, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        int n = ::send(ToNative(socket), data.data() + sent, static_cast<int>(data.size() - sent), kSendFlags);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

void Close(Socket socket) {
    if (socket == -1) return;
    ::shutdown(ToNative(socket), kShutdownBoth);
    CloseNative(ToNative(socket));
}

}  // namespace loopback
