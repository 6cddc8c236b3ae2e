// Serves the files of a patch repository over HTTP/1.1 (cpp-httplib): GET and HEAD, byte ranges,
// keep-alive connections. Only regular files below the repository folder are served, by the
// names larkpublish gives them: a path with an empty, "." or ".." part or any character outside
// letters, digits and "._-+~@()" (backslashes and control characters among them), or one that
// leads outside the folder through a symbolic link, is refused with 403. The server runs on threads
// of its own; the counters may be read from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

class RepositoryHttpServer {
  public:
    explicit RepositoryHttpServer(std::string repository);
    ~RepositoryHttpServer();
    RepositoryHttpServer(const RepositoryHttpServer&) = delete;
    RepositoryHttpServer& operator=(const RepositoryHttpServer&) = delete;

    // Listens on `host` and `port` (0: a free port) and starts serving; false when it cannot.
    bool Start(const std::string& host, uint16_t port);
    void Stop();
    uint16_t Port() const { return m_port; }

    uint64_t FilesServed() const { return m_served.load(); }
    uint64_t Refused() const { return m_refused.load(); }

    // The file a request path names, or empty when the path is refused or names no regular file
    // below the repository; `refused` tells the two apart.
    std::string Resolve(const std::string& requestPath, bool& refused) const;

  private:
    std::string m_repository;
    std::string m_realRoot;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    uint16_t m_port = 0;
    std::atomic<uint64_t> m_served{0};
    std::atomic<uint64_t> m_refused{0};
};
