#include "LoaderWire.h"

#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "LogMessage.h"

namespace larkhost {
namespace {

constexpr const char* kCategory = "HOST_LOADER";

// Reads one length-prefixed buffer. `what` names the buffer in the summary message.
bool ReadBuffer(int fd, std::string& buffer, const char* method, const char* what) {
    uint64_t length = 0;
    if (ReadFully(fd, &length, sizeof(length)) != 0) {
        HY_LOG(LL_Error, kCategory, "WineLoaderClientConnection::ReadBuffer",
               "%s: reading length failed; errno %d", method, errno);
        HY_LOG(LL_Error, kCategory, "WineLoaderClientConnection::ReadBuffer",
               "%s: reading %s failed", method, what);
        return false;
    }
    if (length > kLoaderMaxBufferLength) {
        HY_LOG(LL_Error, kCategory, "WineLoaderClientConnection::ReadBuffer",
               "%s: failed to allocate buffer of length %llu", method,
               static_cast<unsigned long long>(length));
        HY_LOG(LL_Error, kCategory, "WineLoaderClientConnection::ReadBuffer",
               "%s: reading %s failed", method, what);
        return false;
    }
    buffer.assign(static_cast<size_t>(length), '\0');
    if (length > 0 && ReadFully(fd, buffer.data(), buffer.size()) != 0) {
        HY_LOG(LL_Error, kCategory, "WineLoaderClientConnection::ReadBuffer",
               "%s: reading buffer failed; errno %d", method, errno);
        HY_LOG(LL_Error, kCategory, "WineLoaderClientConnection::ReadBuffer",
               "%s: reading %s failed", method, what);
        return false;
    }
    return true;
}

// Receives the one data byte and its SCM_RIGHTS message of 4 or 5 descriptors. The control
// buffer and the accepted lengths come from CMSG_SPACE/CMSG_LEN, so they fit this platform's
// control header (16 bytes on x86-64), not a 12-byte one.
bool ReceiveDescriptors(int fd, ReceivedDescriptors& out, const char* method) {
    constexpr size_t kControlSize = CMSG_SPACE(sizeof(int) * (kLoaderMaxDescriptors + 1));
    alignas(struct cmsghdr) char control[kControlSize];
    char data = 0;
    struct iovec iov = {&data, 1};
    struct msghdr msg {};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    // Room for one descriptor more than allowed, so that an extra one is seen and refused
    // rather than silently dropped by truncation.
    msg.msg_controllen = sizeof(control);
    ssize_t got;
    do {
        got = recvmsg(fd, &msg, MSG_CMSG_CLOEXEC);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        HY_LOG(LL_Error, kCategory, "WineLoaderClientConnection::ReceiveDescriptors",
               "%s: failed to receive file descriptors; errno %d", method, errno);
        return false;
    }
    // Take ownership of everything that arrived first, so that every path below closes it.
    ReceivedDescriptors all;
    int rightsMessages = 0;
    size_t rightsLength = 0;
    for (struct cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        ++rightsMessages;
        rightsLength = c->cmsg_len;
        size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        const unsigned char* p = CMSG_DATA(c);
        for (size_t i = 0; i < count; ++i) {
            int received;
            std::memcpy(&received, p + i * sizeof(int), sizeof(int));
            all.Add(received);
        }
    }
    bool ok = got == 1 && !(msg.msg_flags & MSG_CTRUNC) && rightsMessages == 1 &&
              rightsLength >= CMSG_LEN(sizeof(int) * kLoaderMinDescriptors) &&
              rightsLength <= CMSG_LEN(sizeof(int) * kLoaderMaxDescriptors) &&
              (all.Count() == kLoaderMinDescriptors || all.Count() == kLoaderMaxDescriptors);
    if (!ok) {
        HY_LOG(LL_Error, kCategory, "WineLoaderClientConnection::ReceiveDescriptors",
               "%s: failed to receive file descriptors", method);
        return false;  // `all` closes what arrived
    }
    out = std::move(all);
    return true;
}

}  // namespace

ReceivedDescriptors::ReceivedDescriptors(ReceivedDescriptors&& other) noexcept
    : m_fds(std::move(other.m_fds)) {
    other.m_fds.clear();
}

ReceivedDescriptors& ReceivedDescriptors::operator=(ReceivedDescriptors&& other) noexcept {
    if (this != &other) {
        CloseAll();
        m_fds = std::move(other.m_fds);
        other.m_fds.clear();
    }
    return *this;
}

int ReceivedDescriptors::Release(size_t i) {
    int fd = m_fds[i];
    m_fds[i] = -1;
    return fd;
}

void ReceivedDescriptors::CloseAll() {
    for (int fd : m_fds)
        if (fd >= 0) close(fd);
    m_fds.clear();
}

int ReadFully(int fd, void* data, size_t size) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        ssize_t got = read(fd, p, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got == 0) errno = 0;
            return -1;
        }
        p += got;
        size -= static_cast<size_t>(got);
    }
    return 0;
}

bool SplitNulStrings(const std::string& buffer, std::vector<std::string>& out) {
    out.clear();
    if (buffer.empty()) return true;
    if (buffer.back() != '\0') return false;
    size_t start = 0;
    while (start < buffer.size()) {
        size_t end = buffer.find('\0', start);
        out.emplace_back(buffer, start, end - start);
        start = end + 1;
    }
    return true;
}

bool ReadRequestType(int fd, uint32_t& type, const char* method) {
    if (ReadFully(fd, &type, sizeof(type)) != 0) {
        HY_LOG(LL_Error, kCategory, "WineLoaderClientConnection::ReadRequestType",
               "%s: reading request type failed; errno %d", method, errno);
        return false;
    }
    return true;
}

bool ReadRequestBody(int fd, LoaderRequest& request, const char* method) {
    const char* fn = "WineLoaderClientConnection::ReadRequestBody";
    std::string buffer;
    if (!ReadBuffer(fd, buffer, method, "working directory")) return false;
    if (!buffer.empty()) {
        // Exactly one string: the only NUL is the last byte.
        if (buffer.back() != '\0' || buffer.find('\0') != buffer.size() - 1) {
            HY_LOG(LL_Error, kCategory, fn,
                   "%s: working directory is not a single null-terminated string", method);
            return false;
        }
        request.workingDirectory = buffer.substr(0, buffer.size() - 1);
    }
    if (!ReadBuffer(fd, buffer, method, "environment")) return false;
    if (!SplitNulStrings(buffer, request.environment)) {
        HY_LOG(LL_Error, kCategory, fn, "%s: environment is not null-terminated", method);
        return false;
    }
    if (!ReadBuffer(fd, buffer, method, "args")) return false;
    if (buffer.empty()) {
        HY_LOG(LL_Error, kCategory, fn, "%s: args list is empty", method);
        return false;
    }
    if (!SplitNulStrings(buffer, request.arguments)) {
        HY_LOG(LL_Error, kCategory, fn, "%s: args is not null-terminated", method);
        return false;
    }
    ReceivedDescriptors descriptors;
    if (!ReceiveDescriptors(fd, descriptors, method)) return false;
    char extra;
    ssize_t got;
    do {
        got = read(fd, &extra, 1);
    } while (got < 0 && errno == EINTR);
    if (got > 0) {
        HY_LOG(LL_Error, kCategory, fn, "%s: got extraneous data instead of EOF", method);
        return false;
    }
    if (got < 0) {
        HY_LOG(LL_Error, kCategory, fn, "%s: failed to read EOF; errno %d", method, errno);
        return false;
    }
    request.descriptors = std::move(descriptors);
    return true;
}

}  // namespace larkhost
