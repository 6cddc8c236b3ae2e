// Test support: two connected stream sockets, as the platform makes them, closed at the end.
#pragma once

#include <cstddef>

namespace kaltest {

class SocketPair {
public:
    SocketPair();
    ~SocketPair();
    SocketPair(const SocketPair&) = delete;
    SocketPair& operator=(const SocketPair&) = delete;

    bool Valid() const { return fds[0] != -1 && fds[1] != -1; }
    // Writes one byte into fds[1], to be read from fds[0].
    bool Send();
    // Closes one end now.
    void Close(int which);

    int fds[2] = {-1, -1};
};

// Reads what is there on a socket, up to `size` bytes; the count, or -1.
long ReadSome(int fd, void* data, size_t size);

}  // namespace kaltest
