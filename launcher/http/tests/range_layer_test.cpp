#include "SegDownloadEngine.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "HYHttpFileClient.h"

#include "http_test_support.h"
#include "test_http_server.h"

namespace {

TEST(ParseUrl, SplitsHostPortAndPath) {
    ParsedUrl url;
    ASSERT_TRUE(ParseUrl("http://patch.example:8080/game/Data.wad?v=3", url));
    EXPECT_EQ(url.host, "patch.example");
    EXPECT_EQ(url.port, 8080);
    EXPECT_EQ(url.path, "/game/Data.wad?v=3");
    ASSERT_TRUE(ParseUrl("http://h/x", url));
    EXPECT_EQ(url.host, "h");
    EXPECT_EQ(url.port, 80);
    EXPECT_EQ(url.path, "/x");
}

TEST(ParseUrl, RefusesOtherSchemesMissingPathsAndPortZero) {
    ParsedUrl url;
    EXPECT_FALSE(ParseUrl("https://h/x", url));
    EXPECT_FALSE(ParseUrl("HTTP://h/x", url));
    EXPECT_FALSE(ParseUrl("ftp://h/x", url));
    EXPECT_FALSE(ParseUrl("http://host", url));
    EXPECT_FALSE(ParseUrl("http://h:0/x", url));
    EXPECT_FALSE(ParseUrl("http://h:99999/x", url));
    EXPECT_FALSE(ParseUrl("http://:80/x", url));
    EXPECT_FALSE(ParseUrl("http://", url));
}

// A segment download (type 2) through the client: the range is written at its offset.
TEST(SegmentDownload, WritesTheRangeAtItsOffsetAndChecksItsCrc) {
    TestHttpServer server;
    TempDir dir;
    RecordingClient client;
    std::string content = RandomBytes(50000, 4);
    server.SetFile("/big", content);
    std::string local = dir / "big";
    WriteFile(local, std::string(content.size(), '\0'));
    std::string segment = content.substr(20000, 7000);
    client.AddFile(server.Url("/big"), local, DT_RangeSegment, 20000, content.size(), 0, 7000, 0,
                   Crc(segment), false, false);
    client.AddFile(server.Url("/big"), local, DT_RangeSegment, 5, content.size(), 0, 1, 0,
                   Crc(content.substr(5, 1)), false, false);
    client.Start();
    ASSERT_TRUE(client.RunUntilAllProcessed());
    EXPECT_EQ(client.Count("downloaded"), 2u);
    std::string result = ReadFile(local);
    EXPECT_EQ(result.substr(20000, 7000), segment);
    EXPECT_EQ(result[5], content[5]);
    auto ranges = server.Ranges();
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[1].first, 5u);
    EXPECT_EQ(ranges[1].last, 5u);

    // Now correct on disk: no request at all.
    client.AddFile(server.Url("/big"), local, DT_RangeSegment, 20000, content.size(), 0, 7000, 0,
                   Crc(segment), false, false);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    EXPECT_EQ(client.Count("current"), 1u);
    EXPECT_EQ(server.Ranges().size(), 2u);
}

}  // namespace

namespace {

// A bare HTTP server that hangs up on the first request without answering and answers every
// later one with the range asked for, counting the requests that reach it.
class HangUpOnceServer {
public:
    explicit HangUpOnceServer(std::string content) : m_content(std::move(content)) {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t size = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
        ::listen(m_listener, 8);
        m_thread = std::thread([this] { Serve(); });
    }
    ~HangUpOnceServer() {
        m_stop = true;
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_thread.join();
    }
    uint16_t Port() const { return m_port; }
    int Requests() const { return m_requests.load(); }

private:
    void Serve() {
        while (!m_stop) {
            int fd = ::accept(m_listener, nullptr, nullptr);
            if (fd < 0) return;
            for (;;) {
                std::string request;
                char c;
                while (request.find("\r\n\r\n") == std::string::npos && ::recv(fd, &c, 1, 0) == 1) request += c;
                if (request.find("\r\n\r\n") == std::string::npos) break;
                if (++m_requests == 1) break;  // hang up without an answer
                unsigned first = 0, last = 0;
                size_t at = request.find("Range: bytes=");
                if (at != std::string::npos) std::sscanf(request.c_str() + at, "Range: bytes=%u-%u", &first, &last);
                std::string body = m_content.substr(first, last - first + 1);
                std::string answer = "HTTP/1.1 206 Partial Content\r\nContent-Length: " + std::to_string(body.size()) +
                                     "\r\nContent-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) +
                                     "/" + std::to_string(m_content.size()) + "\r\n\r\n" + body;
                ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
            }
            ::close(fd);
        }
    }

    std::string m_content;
    int m_listener = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    std::thread m_thread;
};

TEST(SegmentDownload, AFailedSendIsSentOnceMoreOnANewConnection) {
    std::string content = RandomBytes(4000, 5);
    HangUpOnceServer server(content);
    TempDir dir;
    RecordingClient client;
    std::string segment = content.substr(1000, 500);
    client.AddFile("http://127.0.0.1:" + std::to_string(server.Port()) + "/f", dir / "f", DT_RangeSegment,
                   1000, content.size(), 0, 500, 0, Crc(segment), false, false);
    client.Start();
    ASSERT_TRUE(client.RunUntilAllProcessed());
    EXPECT_EQ(client.Count("downloaded"), 1u);
    EXPECT_EQ(server.Requests(), 2);
    EXPECT_EQ(ReadFile(dir / "f").substr(1000, 500), segment);
}

TEST(PingUrl, RequestsTheUrlOnce) {
    TestHttpServer server;
    server.SetFile("/report?event=start", "ok");
    server.SetFile("/report", "ok");
    EXPECT_EQ(PingUrl(server.Url("/report?event=start")), 0);
    EXPECT_EQ(server.RequestCount("/report"), 1u);
    EXPECT_EQ(PingUrl("http://" + UnresolvableHost() + "/report"), 1);
}

}  // namespace
