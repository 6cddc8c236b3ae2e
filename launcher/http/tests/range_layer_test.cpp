#include "SegDownloadEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "HYHttpFileClient.h"

#include "http_test_support.h"
#include "loopback_socket.h"
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
        m_listener = loopback::Listen(m_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~HangUpOnceServer() {
        m_stop = true;
        loopback::Close(m_listener);
        // A client may keep its connection open for reuse; end it so the thread sees the stop.
        loopback::Close(m_connection.exchange(-1));
        m_thread.join();
    }
    uint16_t Port() const { return m_port; }
    int Requests() const { return m_requests.load(); }

private:
    void Serve() {
        while (!m_stop) {
            loopback::Socket connection = loopback::Accept(m_listener);
            if (connection == -1) return;
            m_connection = connection;
            for (;;) {
                std::string request;
                char c;
                while (request.find("\r\n\r\n") == std::string::npos && loopback::ReceiveByte(connection, c)) request += c;
                if (request.find("\r\n\r\n") == std::string::npos) break;
                if (++m_requests == 1) break;  // hang up without an answer
                unsigned first = 0, last = 0;
                size_t at = request.find("Range: bytes=");
                if (at != std::string::npos) std::sscanf(request.c_str() + at, "Range: bytes=%u-%u", &first, &last);
                std::string body = m_content.substr(first, last - first + 1);
                std::string answer = "HTTP/1.1 206 Partial Content\r\nContent-Length: " + std::to_string(body.size()) +
                                     "\r\nContent-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) +
                                     "/" + std::to_string(m_content.size()) + "\r\n\r\n" + body;
                loopback::SendAll(connection, answer);
            }
            if (m_connection.exchange(-1) == connection) loopback::Close(connection);
        }
    }

    std::string m_content;
    loopback::Socket m_listener = -1;
    std::atomic<loopback::Socket> m_connection{-1};
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
