#include "raw_socket.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace nettest {

const int kErrRefused = ECONNREFUSED;
const int kErrReset = ECONNRESET;
const int kErrInProgress = EINPROGRESS;
const int kErrAlready = EALREADY;

bool RunningUnderWine() { return false; }

RawListener::RawListener(int backlog) : fd(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 && ::listen(fd, backlog) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length) == 0) {
        address = HYInetAddress(at);
    }
}

RawListener::~RawListener() { ::close(fd); }

int RawListener::Accept() { return ::accept(fd, nullptr, nullptr); }

}  // namespace nettest
