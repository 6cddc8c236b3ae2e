#include "SocketPair.h"

#include <sys/socket.h>
#include <unistd.h>

namespace kaltest {

SocketPair::SocketPair() {
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) fds[0] = fds[1] = -1;
}

SocketPair::~SocketPair() {
    Close(0);
    Close(1);
}

bool SocketPair::Send() { return ::write(fds[1], "x", 1) == 1; }

void SocketPair::Close(int which) {
    if (fds[which] != -1) ::close(fds[which]);
    fds[which] = -1;
}

long ReadSome(int fd, void* data, size_t size) { return ::read(fd, data, size); }

}  // namespace kaltest
