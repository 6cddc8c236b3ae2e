#include "test_server.h"

#include <chrono>

namespace uitest {

namespace {

// A page filled with one colour and, where asked, one link over its whole upper half.
std::string Page(const char* colour, const std::string& link = "", const std::string& target = "") {
    std::string html =
        "<!DOCTYPE html><html><head><style>html,body{margin:0;height:100%;background:" +
        std::string(colour) + ";}a{display:block;height:50%;background:#336;}</style></head><body>";
    if (!link.empty())
        html += "<a id=\"link\" href=\"" + link + "\"" +
                (target.empty() ? "" : " target=\"" + target + "\"") + "></a>";
    return html + "</body></html>";
}

}  // namespace

TestServer::TestServer() {
    auto count = [this](const httplib::Request& req) {
        std::lock_guard<std::mutex> hold(m_lock);
        ++m_hits[req.path];
    };
    m_server.Get("/news", [count](const httplib::Request& req, httplib::Response& res) {
        count(req);
        res.set_content(Page("#7fb069"), "text/html");
    });
    m_server.Get("/eula", [count](const httplib::Request& req, httplib::Response& res) {
        count(req);
        res.set_content(Page("#f4e9cd"), "text/html");
    });
    m_server.Get("/patcher", [count](const httplib::Request& req, httplib::Response& res) {
        count(req);
        res.set_content(Page("#e0e0e0", "patcher:LoginComplete@alice,s3cret"), "text/html");
    });
    m_server.Get("/popup", [count, this](const httplib::Request& req, httplib::Response& res) {
        count(req);
        res.set_content(
            Page("#e0e0e0", "http://127.0.0.1:" + std::to_string(m_port) + "/elsewhere", "_blank"),
            "text/html");
    });
    m_server.Get("/elsewhere", [count](const httplib::Request& req, httplib::Response& res) {
        count(req);
        res.set_content(Page("#ff0000"), "text/html");
    });
    m_server.Get("/missing.*", [count](const httplib::Request& req, httplib::Response& res) {
        count(req);
        res.status = 404;
        res.set_content("gone", "text/plain");
    });
    m_server.Get("/delay", [count](const httplib::Request& req, httplib::Response& res) {
        count(req);
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        res.set_content(Page("#9999ff"), "text/html");
    });
    // Never answers (until the server stops): a page that never finishes loading.
    m_server.Get("/hang", [count, this](const httplib::Request& req, httplib::Response& res) {
        count(req);
        for (int i = 0; i < 300 && !m_stopping; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        res.set_content(Page("#000000"), "text/html");
    });
    // Announces a long page, sends a part of it and closes the connection.
    m_server.Get("/cut", [count](const httplib::Request& req, httplib::Response& res) {
        count(req);
        res.set_content_provider(
            100000, "text/html", [](size_t offset, size_t, httplib::DataSink& sink) {
                if (offset > 0) return false;
                std::string part =
                    "<html><body style=\"background:#ccc\">" + std::string(2000, 'x');
                sink.write(part.data(), part.size());
                return true;
            });
    });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    while (!m_server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

TestServer::~TestServer() {
    m_stopping = true;
    m_server.stop();
    m_thread.join();
}

std::string TestServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

int TestServer::Hits(const std::string& path) const {
    std::lock_guard<std::mutex> hold(m_lock);
    auto found = m_hits.find(path);
    return found == m_hits.end() ? 0 : found->second;
}

}  // namespace uitest
