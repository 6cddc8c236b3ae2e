#include "TempUnixSocket.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace larkhost {

std::string TemporaryDirectory() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

int ListenOnTemporaryUnixSocket(const std::string& directory, const std::string& prefix,
                                int backlog, std::string& path) {
    std::string dir = directory.empty() ? TemporaryDirectory() : directory;
    if (dir.back() != '/') dir += '/';
    std::string name = dir + prefix + "XXXXXX";
    if (name.size() > kMaxUnixSocketPath) {
        errno = ENAMETOOLONG;
        return -1;
    }
    // A fresh name: made unique as a file, then freed for the socket to take.
    int placeholder = mkstemp(name.data());
    if (placeholder < 0) return -1;
    close(placeholder);
    unlink(name.c_str());

    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    struct sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        int saved = errno;
        close(fd);
        errno = saved;
        return -1;
    }
    if (listen(fd, backlog) != 0) {
        int saved = errno;
        unlink(name.c_str());
        close(fd);
        errno = saved;
        return -1;
    }
    path = name;
    return fd;
}

}  // namespace larkhost
