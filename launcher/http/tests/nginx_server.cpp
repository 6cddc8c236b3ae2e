#include "nginx_server.h"

#include "test_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace {

const char* kCandidates[] = {"/usr/sbin/nginx", "/usr/local/sbin/nginx", "/usr/bin/nginx"};

uint16_t FreeLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool Accepts(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

NginxServer::NginxServer() {
    char pattern[] = "/tmp/hy_nginx_XXXXXX";
    if (char* made = ::mkdtemp(pattern)) m_directory = made;
}

NginxServer::~NginxServer() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    if (!m_directory.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_directory, ignored);
    }
}

bool NginxServer::Start() {
    KeepLoopbackOffProxies();
    std::string binary;
    for (const char* candidate : kCandidates)
        if (::access(candidate, X_OK) == 0) binary = candidate;
    if (binary.empty()) {
        m_error = "nginx is not installed (run scripts/deps)";
        return false;
    }
    if (m_directory.empty()) {
        m_error = "no temporary directory";
        return false;
    }
    std::filesystem::create_directories(Root());
    std::filesystem::create_directories(m_directory + "/temp");
    for (int attempt = 0; attempt < 5 && m_pid < 0; ++attempt) {
        m_port = FreeLoopbackPort();
        std::string d = m_directory;
        std::ofstream conf(d + "/nginx.conf");
        conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
             << "pid " << d << "/nginx.pid;\nerror_log " << d << "/error.log;\n"
             << "events { worker_connections 64; }\n"
             << "http {\n  access_log " << d << "/access.log;\n"
             << "  client_body_temp_path " << d << "/temp/body;\n"
             << "  proxy_temp_path " << d << "/temp/proxy;\n"
             << "  fastcgi_temp_path " << d << "/temp/fastcgi;\n"
             << "  uwsgi_temp_path " << d << "/temp/uwsgi;\n"
             << "  scgi_temp_path " << d << "/temp/scgi;\n"
             << "  types { text/html html; }\n  default_type application/octet-stream;\n"
             << "  sendfile on;\n  keepalive_requests 10000;\n"
             << "  server {\n    listen 127.0.0.1:" << m_port << ";\n    root " << Root() << ";\n  }\n}\n";
        conf.close();
        std::string prefix = d + "/";
        std::string confPath = d + "/nginx.conf";
        std::string errorLog = d + "/error.log";
        std::vector<std::string> args = {binary, "-p", prefix, "-c", confPath, "-e", errorLog};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        if (::posix_spawn(&pid, binary.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
            m_error = "cannot start nginx";
            return false;
        }
        bool ended = false;
        for (int i = 0; i < 200; ++i) {
            if (Accepts(m_port)) {
                m_pid = pid;
                break;
            }
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {  // ended: port taken or bad config
                ended = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (m_pid < 0 && !ended) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
    if (m_pid < 0) {
        std::ifstream log(m_directory + "/error.log");
        std::stringstream text;
        text << log.rdbuf();
        m_error = "nginx did not start: " + text.str();
        return false;
    }
    return true;
}

bool NginxServer::PutFile(const std::string& path, const std::string& content) {
    std::filesystem::path target = Root() + path;
    std::filesystem::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return static_cast<bool>(out);
}

std::string NginxServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::string NginxServer::AccessLog() const {
    std::ifstream log(m_directory + "/access.log");
    std::stringstream text;
    text << log.rdbuf();
    return text.str();
}
