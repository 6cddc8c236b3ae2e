#include "test_http_server.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <set>

#include "OsEnv.h"

void KeepLoopbackOffProxies() {
    // The client takes its proxy from the environment; the tests talk to loopback only, directly.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) HY_OS::UnsetEnv(name);
}

namespace {
// Before any test runs, also in test programs that start no server of this kind.
const bool g_directConnections = (KeepLoopbackOffProxies(), true);
}  // namespace

TestHttpServer::TestHttpServer() : m_server(std::make_unique<httplib::Server>()) {
    m_server->set_keep_alive_max_count(1000);
    // A client that keeps idle connections for reuse (WinINet does, for a minute) holds a
    // stopping server only this long.
    m_server->set_keep_alive_timeout(1);
    m_server->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        std::shared_ptr<const std::string> file;
        Fault fault;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_requests.push_back(req.path);
            m_clientPorts.push_back(req.remote_port);
            auto it = m_files.find(req.path);
            if (it != m_files.end()) file = it->second;
            auto f = m_faults.find(req.path);
            if (f != m_faults.end()) fault = f->second;
        }
        if (!fault.redirectTo.empty()) {
            res.set_redirect(fault.redirectTo);
            return;
        }
        if (!file) {
            res.status = 404;
            res.set_content("<html><body>Not Found</body></html>", "text/html");
            return;
        }
        std::string type = fault.contentType.empty() ? "application/octet-stream" : fault.contentType;
        if (fault.status != 0) res.status = fault.status;
        if (fault.endless) {
            // A short pause after each block, as a real server's pace has: a client that closes
            // the request finds the connection idle for a moment instead of always readable
            // (Wine's WinINet reads what is waiting on a kept connection before it lets go).
            res.set_chunked_content_provider(type, [](size_t, httplib::DataSink& sink) {
                std::string block(16384, 'x');
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                return sink.write(block.data(), block.size());
            });
            return;
        }
        if (!req.ranges.empty() && fault.ignoreRanges) res.status = 200;
        bool ranged = !req.ranges.empty() && !fault.ignoreRanges;
        if (ranged) {
            std::lock_guard<std::mutex> lock(m_lock);
            auto range = req.ranges[0];
            uint64_t first = range.first < 0 ? 0 : static_cast<uint64_t>(range.first);
            uint64_t last = range.second < 0 ? file->size() - 1 : static_cast<uint64_t>(range.second);
            m_ranges.push_back({req.path, first, last});
        }
        int64_t cutAfter = fault.truncateAfter;
        if (ranged && fault.dropRangeAfter >= 0) {
            std::lock_guard<std::mutex> lock(m_lock);
            Fault& stored = m_faults[req.path];
            if (stored.dropRangeTimes > 0) {
                --stored.dropRangeTimes;
                cutAfter = fault.dropRangeAfter;
            }
        }
        auto sent = std::make_shared<int64_t>(0);
        int stallMs = fault.stallMs;
        res.set_content_provider(file->size(), type,
                                 [file, cutAfter, sent, stallMs](size_t offset, size_t length, httplib::DataSink& sink) {
                                     size_t n = std::min<size_t>(length, 65536);
                                     if (cutAfter >= 0) {
                                         if (*sent >= cutAfter) {
                                             std::this_thread::sleep_for(std::chrono::milliseconds(stallMs));
                                             return false;
                                         }
                                         n = std::min<size_t>(n, static_cast<size_t>(cutAfter - *sent));
                                     }
                                     *sent += static_cast<int64_t>(n);
                                     return sink.write(file->data() + offset, n);
                                 });
    });
    int port = m_server->bind_to_any_port("127.0.0.1");
    m_port = static_cast<uint16_t>(port);
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TestHttpServer::~TestHttpServer() {
    m_server->stop();
    if (m_thread.joinable()) m_thread.join();
}

void TestHttpServer::SetFile(const std::string& path, std::string content) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_files[path] = std::make_shared<const std::string>(std::move(content));
}

void TestHttpServer::SetFault(const std::string& path, Fault fault) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_faults[path] = fault;
}

std::string TestHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

size_t TestHttpServer::RequestCount() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_requests.size();
}

size_t TestHttpServer::RequestCount(const std::string& path) const {
    std::lock_guard<std::mutex> lock(m_lock);
    return static_cast<size_t>(std::count(m_requests.begin(), m_requests.end(), path));
}

std::vector<ServedRange> TestHttpServer::Ranges() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_ranges;
}

size_t TestHttpServer::ConnectionCount() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return std::set<int>(m_clientPorts.begin(), m_clientPorts.end()).size();
}

void TestHttpServer::ClearRecords() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_requests.clear();
    m_ranges.clear();
    m_clientPorts.clear();
}
