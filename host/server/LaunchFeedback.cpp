#include "LaunchFeedback.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "LogMessage.h"
#include "TempUnixSocket.h"

namespace larkhost {
namespace {
constexpr const char* kCategory = "HOST";
}

std::unique_ptr<LaunchFeedbackInfo> LaunchFeedbackInfo::Start(const std::string& icon,
                                                              const std::string& directory) {
    std::unique_ptr<LaunchFeedbackInfo> info(new LaunchFeedbackInfo());
    info->m_icon = icon;
    info->m_listenFd = ListenOnTemporaryUnixSocket(directory, "larkhost-launch-", 5, info->m_path);
    if (info->m_listenFd < 0 || (info->m_wakeFd = eventfd(0, EFD_CLOEXEC)) < 0) {
        HY_LOG(LL_Error, kCategory, "LaunchFeedbackInfo::Start",
               "%s: failed to set up socket; errno %d", "LaunchFeedbackInfo::Start", errno);
        return nullptr;
    }
    info->m_thread = std::thread([raw = info.get()] { raw->AcceptOne(); });
    return info;
}

LaunchFeedbackInfo::~LaunchFeedbackInfo() {
    if (m_thread.joinable()) {
        uint64_t one = 1;
        (void)!write(m_wakeFd, &one, sizeof(one));
        m_thread.join();
    }
    if (m_listenFd >= 0) {
        close(m_listenFd);
        unlink(m_path.c_str());
    }
    if (m_wakeFd >= 0) close(m_wakeFd);
}

void LaunchFeedbackInfo::AcceptOne() {
    const char* fn = "LaunchFeedbackInfo::AcceptOne";
    int fd = -1;
    for (;;) {
        struct pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) break;
        if (errno != EAGAIN && errno != EINTR && errno != ECONNABORTED) return;
    }
    // Wait for the 4 bytes (or the end), still listening for the stop request.
    uint32_t value = 0;
    size_t got = 0;
    bool failed = false;
    while (got < sizeof(value)) {
        struct pollfd fds[2] = {{fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            failed = true;
            break;
        }
        if (fds[1].revents != 0) break;
        ssize_t n =
            recv(fd, reinterpret_cast<char*>(&value) + got, sizeof(value) - got, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) {
            HY_LOG(LL_Error, kCategory, fn, "%s: exception trying to read from connection: %s", fn,
                   strerror(errno));
            failed = true;
            break;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    if (!failed && (got != sizeof(value) || value != kLaunchNotifyValue))
        HY_LOG(LL_Warning, kCategory, fn,
               "%s: got an unexpected launch-notify response: %u/0x%08x\n", fn, value, value);
    close(fd);
    m_notified = true;
}

void LaunchFeedbackList::Remove(LaunchFeedbackInfo* info) {
    m_pending.erase(std::remove(m_pending.begin(), m_pending.end(), info), m_pending.end());
}

bool LaunchFeedbackList::Tick() {
    bool draw = false;
    for (auto* info : m_pending)
        if (!info->Notified() && info->Life() <= kFeedbackMaxTicks) draw = true;
    for (auto* info : m_pending) info->Age();
    m_pending.erase(std::remove_if(m_pending.begin(), m_pending.end(),
                                   [](LaunchFeedbackInfo* info) {
                                       return info->Notified() || info->Life() > kFeedbackMaxTicks;
                                   }),
                    m_pending.end());
    return draw;
}

}  // namespace larkhost
