#include "WineLoader.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "LogMessage.h"
#include "TempUnixSocket.h"

namespace larkhost {
namespace {

constexpr const char* kCategory = "HOST_LOADER";
constexpr const char* kMethod = "WineLoaderClientConnection::HandleConnection";

std::string UnameRelease() {
    struct utsname name {};
    if (uname(&name) != 0) return {};
    return name.release;
}

}  // namespace

bool ReleaseAllowsI386(const std::string& release) {
    unsigned major = 0, minor = 0;
    if (std::sscanf(release.c_str(), "%u.%u", &major, &minor) != 2) return false;
    return major >= 19;
}

std::shared_ptr<WineLoader> WineLoader::Create(WineLoaderOptions options) {
    std::shared_ptr<WineLoader> loader(new WineLoader(std::move(options)));
    if (!loader->Listen()) return nullptr;
    loader->m_acceptThread = std::thread([raw = loader.get()] { raw->AcceptLoop(); });
    return loader;
}

WineLoader::WineLoader(WineLoaderOptions options) : m_options(std::move(options)) {
    if (!m_options.kernelRelease) m_options.kernelRelease = UnameRelease;
    if (!m_options.runOnMainThread)
        m_options.runOnMainThread = [](const std::function<void()>& f) { f(); };
    if (!m_options.handOver) m_options.handOver = RunWineLaunch;
}

WineLoader::~WineLoader() {
    Shutdown();
    if (m_wakeFd >= 0) close(m_wakeFd);
}

std::string WineLoader::CoreLibraryPath() const {
    return m_options.porticoRoot + "/lib/wine/x86_64-unix/ntdll.so";
}

bool WineLoader::Listen() {
    std::string path;
    m_listenFd = ListenOnTemporaryUnixSocket(m_options.tempDirectory, "larkhost-loader-", 5, path);
    if (m_listenFd < 0) {
        HY_LOG(LL_Error, kCategory, "WineLoader::Listen",
               "cannot set up the loader socket in %s; errno %d",
               m_options.tempDirectory.empty() ? TemporaryDirectory().c_str()
                                               : m_options.tempDirectory.c_str(),
               errno);
        return false;
    }
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        HY_LOG(LL_Error, kCategory, "WineLoader::Listen",
               "cannot create the loader's wake-up event; errno %d", errno);
        unlink(path.c_str());
        return false;
    }
    m_socketPath = path;
    m_bound = true;
    return true;
}

std::string WineLoader::SocketPath() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_bound && !m_approved ? m_socketPath : std::string();
}

void WineLoader::AcceptLoop() {
    for (;;) {
        struct pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents != 0) return;  // stopped: the listening socket is closed by the stopper
        int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == ECONNABORTED || errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            HY_LOG(LL_Error, kCategory, "WineLoader::AcceptLoop", "accept failed; errno %d", errno);
            break;
        }
        std::shared_ptr<WineLoader> self = weak_from_this().lock();  // the owner holds one too
        if (!self) {
            HY_LOG(LL_Error, kCategory, "WineLoader::AcceptLoop",
                   "%s: failed to create WineLoaderClientConnection for connection socket %d",
                   "WineLoader::AcceptLoop", fd);
            close(fd);
            continue;
        }
        try {
            ++m_active;
            std::thread([self = std::move(self), fd] {
                self->HandleConnection(fd);
                --self->m_active;
            }).detach();
        } catch (const std::system_error& e) {
            --m_active;
            HY_LOG(LL_Error, kCategory, "WineLoader::AcceptLoop",
                   "Failed to create thread to handle connection: error %d, %s", e.code().value(),
                   e.what());
            close(fd);
        }
    }
    // A failing accept ends accepting for good; the socket goes with it.
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_listenFd >= 0) {
        close(m_listenFd);
        m_listenFd = -1;
    }
}

void WineLoader::StopAccepting() {
    if (m_acceptThread.joinable()) {
        uint64_t one = 1;
        (void)!write(m_wakeFd, &one, sizeof(one));
        if (m_acceptThread.get_id() != std::this_thread::get_id())
            m_acceptThread.join();
        else
            m_acceptThread.detach();
    }
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_listenFd >= 0) {
        close(m_listenFd);
        m_listenFd = -1;
    }
}

void WineLoader::Shutdown() {
    StopAccepting();
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_bound) {
        unlink(m_socketPath.c_str());
        m_bound = false;
    }
}

bool WineLoader::ShouldConnectionProceed() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_approved) return false;
        m_approved = true;
    }
    // No further connections: the socket is closed, its file removed, its path forgotten.
    Shutdown();
    return true;
}

bool WineLoader::I386Allowed() {
    std::call_once(m_releaseOnce,
                   [this] { m_i386Allowed = ReleaseAllowsI386(m_options.kernelRelease()); });
    return m_i386Allowed;
}

void WineLoader::HandleConnection(int fd) {
    struct Closer {
        int& fd;
        ~Closer() {
            if (fd >= 0) close(fd);
        }
    } closer{fd};

    int flags = fcntl(fd, F_GETFL);
    if (flags < 0) {
        HY_LOG(LL_Error, kCategory, kMethod, "%s: fcntl(F_GETFL) failed; errno %d", kMethod, errno);
        return;
    }
    if (fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        HY_LOG(LL_Error, kCategory, kMethod, "%s: fcntl(F_SETFL) failed; errno %d", kMethod, errno);
        return;
    }
    // A peer that stops sending without closing must not hold this thread for ever.
    struct timeval timeout {};
    timeout.tv_sec = m_options.receiveTimeoutMs / 1000;
    timeout.tv_usec = (m_options.receiveTimeoutMs % 1000) * 1000;
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));

    uint32_t type = 0;
    if (!ReadRequestType(fd, type, kMethod)) return;
    LoaderRequest request;
    if (type == kLoaderRequestI386) {
        if (!I386Allowed()) {
            if (m_options.wrongArchitecture) m_options.wrongArchitecture("i386");
            return;
        }
        request.i386 = true;
    } else if (type != kLoaderRequest64) {
        HY_LOG(LL_Error, kCategory, kMethod, "%s: unknown request type 0x%08x", kMethod, type);
        return;
    }
    if (!ReadRequestBody(fd, request, kMethod)) return;

    std::string libraryPath = CoreLibraryPath();
    void* library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (library == nullptr) {
        HY_LOG(LL_Error, kCategory, kMethod, "Failed to load %s: %s", libraryPath.c_str(),
               dlerror());
        return;
    }
    auto entry = reinterpret_cast<WineMainFunction>(dlsym(library, "__wine_main"));
    if (entry == nullptr) {
        HY_LOG(LL_Error, kCategory, kMethod, "Failed to find symbol '__wine_main' in %s: %s",
               libraryPath.c_str(), dlerror());
        dlclose(library);
        return;
    }

    bool proceed = false;
    m_options.runOnMainThread([&] { proceed = ShouldConnectionProceed(); });
    if (!proceed) {
        dlclose(library);
        return;
    }
    uint32_t response = kLoaderResponse;
    ssize_t sent;
    do {
        sent = send(fd, &response, sizeof(response), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(sizeof(response))) {
        HY_LOG(LL_Error, kCategory, kMethod,
               "%s: failed to send response; errno %d; p %p; &response %p; sizeof(response) %lu",
               kMethod, errno, static_cast<void*>(&response), static_cast<void*>(&response),
               static_cast<unsigned long>(sizeof(response)));
        dlclose(library);
        return;
    }
    close(fd);
    fd = -1;

    WineLaunch launch;
    if (!PrepareWineLaunch(std::move(request), m_options.porticoRoot, launch)) return;
    HY_LOG(LL_Status, kCategory, kMethod, "starting %s inside this process",
           launch.arguments.size() > 1 ? launch.arguments[1].c_str() : launch.arguments[0].c_str());
    m_options.handOver(std::move(launch), entry);
}

}  // namespace larkhost
