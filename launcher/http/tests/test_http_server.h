// An HTTP file server on loopback for the tests: serves files from memory, answers ranges, and
// can be told to misbehave the ways real servers do (wrong types, truncated or endless bodies,
// dropped connections, ignored ranges). Every request and range served is recorded.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

// Removes the proxy settings from the environment: the tests reach their loopback servers directly.
void KeepLoopbackOffProxies();

struct ServedRange {
    std::string path;
    uint64_t first;
    uint64_t last;
};

class TestHttpServer {
public:
    // How a path misbehaves.
    struct Fault {
        std::string contentType;        // override the type
        int status = 0;                 // override the status (body stays)
        int64_t truncateAfter = -1;     // announce the full length, send this many bytes, close
        bool endless = false;           // a body without length that never ends
        bool ignoreRanges = false;      // answer every range request with the whole file
        int64_t dropRangeAfter = -1;    // in a range answer, close after this many bytes
        int dropRangeTimes = 0;         // ...for this many range answers, then serve normally
        int stallMs = 0;                // with truncateAfter: wait this long before closing
        std::string redirectTo;         // answer 302 with this location
    };

    TestHttpServer();
    ~TestHttpServer();

    void SetFile(const std::string& path, std::string content);
    void SetFault(const std::string& path, Fault fault);
    uint16_t Port() const { return m_port; }
    std::string Url(const std::string& path) const;

    size_t RequestCount() const;
    size_t RequestCount(const std::string& path) const;
    std::vector<ServedRange> Ranges() const;
    // Distinct client ports seen, a measure of the connections made.
    size_t ConnectionCount() const;
    void ClearRecords();

private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    uint16_t m_port = 0;
    mutable std::mutex m_lock;
    std::map<std::string, std::shared_ptr<const std::string>> m_files;
    std::map<std::string, Fault> m_faults;
    std::vector<std::string> m_requests;
    std::vector<ServedRange> m_ranges;
    std::vector<int> m_clientPorts;
};
