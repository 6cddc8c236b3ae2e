#include "RepositoryHttpServer.h"

#include <httplib.h>
#include <limits.h>
#include <stdlib.h>

#include "LogMessage.h"
#include "OsFile.h"
#include "PublishManifest.h"

namespace {

constexpr const char* kCategory = "LARKSERVER";
constexpr size_t kThreads = 16;

// Cuts every range to a file of `length` bytes; false when one lies wholly outside it.
bool FitRanges(httplib::Ranges& ranges, int64_t length) {
    for (auto& [first, last] : ranges) {
        if (first < 0) {  // the last `last` bytes
            if (last <= 0 || length == 0) return false;
            last = std::min<ssize_t>(last, length);
        } else {
            if (first >= length || (last >= 0 && last < first)) return false;
            if (last < 0 || last >= length) last = length - 1;
        }
    }
    return true;
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

}  // namespace

RepositoryHttpServer::RepositoryHttpServer(std::string repository)
    : m_repository(std::move(repository)), m_realRoot(RealPath(m_repository)) {}

RepositoryHttpServer::~RepositoryHttpServer() { Stop(); }

std::string RepositoryHttpServer::Resolve(const std::string& requestPath, bool& refused) const {
    // Everything a repository holds has a publishable name, so nothing else is looked for.
    refused = requestPath.empty() || requestPath[0] != '/' ||
              !larkpublish::IsPublishablePath(requestPath.substr(1)) || m_realRoot.empty();
    if (refused) return {};
    std::string real = RealPath(m_repository + requestPath);
    if (real.empty()) return {};
    refused = real.compare(0, m_realRoot.size() + 1, m_realRoot + "/") != 0;
    if (refused || HY_OS::IsDirectory(real)) return {};
    return real;
}

bool RepositoryHttpServer::Start(const std::string& host, uint16_t port) {
    if (m_server || m_realRoot.empty()) return false;
    m_server = std::make_unique<httplib::Server>();
    // Each open connection holds one thread of the pool while it is kept alive: enough threads
    // for a few launchers at once, and idle connections let go after 5 s.
    m_server->new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    m_server->set_keep_alive_max_count(10000);
    m_server->set_keep_alive_timeout(5);
    m_server->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        bool refused = false;
        std::string path = Resolve(req.path, refused);
        auto file = std::make_shared<HY_OS::File>(
            path.empty() ? HY_OS::File() : HY_OS::File::Open(path, HY_OS::FileMode::Read));
        int64_t length = file->IsOpen() ? file->Length() : -1;
        // The ranges are applied to the answer after this handler returns, without checking them
        // against its length: ranges that end past the file are cut to it here, an answer that
        // is not the file carries none, and a range that starts past the end is refused.
        httplib::Ranges& ranges = const_cast<httplib::Ranges&>(req.ranges);
        int status = refused ? 403 : length < 0 ? 404 : FitRanges(ranges, length) ? 0 : 416;
        if (status != 0) {
            ranges.clear();
            if (refused) ++m_refused;
            HY_LOG(LL_Warning, kCategory, "RepositoryHttpServer::Get", "%s %s from %s: %d",
                   req.method.c_str(), req.path.c_str(), req.remote_addr.c_str(), status);
            res.status = status;
            if (status == 416) res.set_header("Content-Range", "bytes */" + std::to_string(length));
            res.set_content(status == 403   ? "Forbidden\n"
                            : status == 404 ? "Not Found\n"
                                            : "",
                            "text/plain");
            return;
        }
        ++m_served;
        HY_LOG(LL_Status, kCategory, "RepositoryHttpServer::Get", "%s %s from %s (%lld bytes%s)",
               req.method.c_str(), req.path.c_str(), req.remote_addr.c_str(),
               static_cast<long long>(length), req.ranges.empty() ? "" : ", ranges");
        res.set_content_provider(static_cast<size_t>(length), "application/octet-stream",
                                 [file](size_t offset, size_t size, httplib::DataSink& sink) {
                                     char block[65536];
                                     size_t n = std::min(size, sizeof block);
                                     int64_t got =
                                         file->ReadAt(block, n, static_cast<int64_t>(offset));
                                     return got > 0 && sink.write(block, static_cast<size_t>(got));
                                 });
    });
    bool bound;
    if (port == 0) {
        int taken = m_server->bind_to_any_port(host);
        bound = taken > 0;
        m_port = static_cast<uint16_t>(bound ? taken : 0);
    } else {
        bound = m_server->bind_to_port(host, port);
        m_port = port;
    }
    if (!bound) {
        m_server.reset();
        m_port = 0;
        return false;
    }
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void RepositoryHttpServer::Stop() {
    if (!m_server) return;
    m_server->stop();
    if (m_thread.joinable()) m_thread.join();
    m_server.reset();
}
