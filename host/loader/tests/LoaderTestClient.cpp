#include "LoaderTestClient.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cstring>
#include <vector>

namespace larkhost::test {

std::string LengthPrefixed(const std::string& bytes) {
    uint64_t length = bytes.size();
    std::string out(reinterpret_cast<const char*>(&length), sizeof(length));
    return out + bytes;
}

std::string NulStrings(const std::vector<std::string>& strings) {
    std::string out;
    for (const auto& s : strings) {
        out += s;
        out += '\0';
    }
    return out;
}

int CountOpenDescriptors() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    while (struct dirent* e = readdir(dir))
        if (e->d_name[0] != '.') ++count;
    closedir(dir);
    return count - 1;  // the directory's own descriptor
}

ClientResult SendRequest(const std::string& socketPath, const ClientRequest& request) {
    ClientResult result;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        if (fd >= 0) close(fd);
        return result;
    }
    result.connected = true;
    std::string bytes(reinterpret_cast<const char*>(&request.type), sizeof(request.type));
    if (!request.stopAfterType) {
        bytes += LengthPrefixed(request.workingDirectory);
        bytes += LengthPrefixed(request.environment);
        bytes += LengthPrefixed(request.arguments);
    }
    (void)!send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (!request.stopAfterType && request.sendDescriptors) {
        // Pipes stand in for the standard streams and the server socket.
        std::vector<int> fds;
        for (int i = 0; i < request.descriptorCount; ++i) {
            int p[2];
            if (pipe2(p, O_CLOEXEC) != 0) break;
            fds.push_back(p[0]);
            close(p[1]);
        }
        char data = 'x';
        struct iovec iov = {&data, 1};
        std::vector<char> control(CMSG_SPACE(sizeof(int) * fds.size()));
        struct msghdr msg {};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        if (!fds.empty()) {
            msg.msg_control = control.data();
            msg.msg_controllen = control.size();
            struct cmsghdr* c = CMSG_FIRSTHDR(&msg);
            c->cmsg_level = SOL_SOCKET;
            c->cmsg_type = SCM_RIGHTS;
            c->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
            std::memcpy(CMSG_DATA(c), fds.data(), sizeof(int) * fds.size());
        }
        (void)!sendmsg(fd, &msg, MSG_NOSIGNAL);
        for (int f : fds) close(f);
        if (!request.trailing.empty())
            (void)!send(fd, request.trailing.data(), request.trailing.size(), MSG_NOSIGNAL);
    }
    if (request.endOfStream) shutdown(fd, SHUT_WR);
    uint32_t response = 0;
    size_t got = 0;
    while (got < sizeof(response)) {
        ssize_t n = recv(fd, reinterpret_cast<char*>(&response) + got, sizeof(response) - got, 0);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    if (got == sizeof(response)) result.response = response;
    close(fd);
    return result;
}

}  // namespace larkhost::test
