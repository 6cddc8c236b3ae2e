// A loopback HTTP server with the pages the window tests show.
#pragma once

#include <httplib.h>

#include <atomic>
#include <string>
#include <thread>

namespace uitest {

class TestServer {
  public:
    TestServer();
    ~TestServer();
    // "http://127.0.0.1:<port><path>"
    std::string Url(const std::string& path) const;
    // Requests served for `path` so far.
    int Hits(const std::string& path) const;

  private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_lock;
    std::map<std::string, int> m_hits;
};

}  // namespace uitest
