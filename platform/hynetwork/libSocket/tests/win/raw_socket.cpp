#include "raw_socket.h"

namespace nettest {

const int kErrRefused = WSAECONNREFUSED;
const int kErrReset = WSAECONNRESET;
const int kErrInProgress = WSAEINPROGRESS;
const int kErrAlready = WSAEALREADY;

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

RawListener::RawListener(int backlog) {
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    fd = s == INVALID_SOCKET ? -1 : static_cast<int>(s);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof at;
    if (::bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 && ::listen(s, backlog) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&at), &length) == 0) {
        address = HYInetAddress(at);
    }
}

RawListener::~RawListener() {
    if (fd != -1) closesocket(static_cast<SOCKET>(fd));
}

int RawListener::Accept() {
    SOCKET s = ::accept(static_cast<SOCKET>(fd), nullptr, nullptr);
    return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}

}  // namespace nettest
