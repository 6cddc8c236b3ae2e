// WineLoader: the alternate-loader socket. Wine's start-up code (our shim installed as
// wine64-preloader) connects to it instead of starting a process of its own and sends one
// request; the first approved request is answered, the socket goes away, and Wine's core library
// is called with the request on the connection's thread, inside this process.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "WineLaunch.h"

namespace larkhost {

constexpr const char* kWrongArchitectureNotification =
    "WineLoaderRejectedRequestForWrongArchitectureNotification";
constexpr const char* kRequestedArchitectureKey = "WineLoaderRequestedArchitectureKey";

// True when an i386 request can be served on a kernel whose release text is `release`: it must
// read as two numbers "%u.%u" with the first at least 19. That threshold is a Darwin release;
// Linux releases never reach it, so on Linux only 64-bit programs are taken over (64-bit Wine
// only).
bool ReleaseAllowsI386(const std::string& release);

struct WineLoaderOptions {
    // The installation root: the core library is lib/wine/x86_64-unix/ntdll.so below it.
    std::string porticoRoot;
    // Folder for the socket's temporary name; $TMPDIR, else /tmp, when empty.
    std::string tempDirectory;
    // The kernel release text; uname's when not given. Read once per loader.
    std::function<std::string()> kernelRelease;
    // Runs a function on the application's main thread and waits for it; called directly when
    // not given.
    std::function<void(const std::function<void()>&)> runOnMainThread;
    // Told (architecture "i386") when a request is refused for its architecture.
    std::function<void(const std::string& architecture)> wrongArchitecture;
    // Takes over an approved launch; RunWineLaunch when not given.
    std::function<void(WineLaunch&&, WineMainFunction)> handOver;
    // How long a connection may stay silent before it is dropped.
    int receiveTimeoutMs = 30000;
};

class WineLoader : public std::enable_shared_from_this<WineLoader> {
  public:
    // Sets up the socket and starts accepting; null (after logging) on any failure.
    static std::shared_ptr<WineLoader> Create(WineLoaderOptions options);
    ~WineLoader();
    WineLoader(const WineLoader&) = delete;
    WineLoader& operator=(const WineLoader&) = delete;

    // The socket's path while it is bound and no request has been approved; empty otherwise.
    std::string SocketPath();
    const std::string& PorticoRoot() const { return m_options.porticoRoot; }
    std::string CoreLibraryPath() const;

    // The approval, on the main thread: the first caller gets true and the socket is closed and
    // removed; every later caller gets false.
    bool ShouldConnectionProceed();

    // Removes the socket file (at application termination) and stops accepting.
    void Shutdown();

    // Connection threads still running (for orderly tests).
    int ActiveConnections() const { return m_active.load(); }

  private:
    explicit WineLoader(WineLoaderOptions options);
    bool Listen();
    void AcceptLoop();
    void StopAccepting();
    void HandleConnection(int fd);
    bool I386Allowed();

    WineLoaderOptions m_options;
    std::mutex m_lock;
    int m_listenFd = -1;
    int m_wakeFd = -1;
    std::string m_socketPath;
    bool m_bound = false;
    bool m_approved = false;
    std::thread m_acceptThread;
    std::once_flag m_releaseOnce;
    bool m_i386Allowed = false;
    std::atomic<int> m_active{0};
};

}  // namespace larkhost
