#include "OsHttp.h"

#include <gtest/gtest.h>

#include <thread>

#include "OsHost.h"
#include "http_test_support.h"
#include "test_http_server.h"

namespace {

using namespace HY_OS;

class OsHttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        internet = HttpInternet::Open("Halcyra Patcher", 0);
        internet->SetReceiveTimeoutMs(2000);
        internet->SetSendTimeoutMs(2000);
    }
    TestHttpServer server;
    std::shared_ptr<HttpInternet> internet;
};

TEST_F(OsHttpTest, OpenedUrlReportsItsHeadersAndReadsInPiecesToTheEnd) {
    std::string content = RandomBytes(3000000, 1);
    server.SetFile("/f", content);
    uint32_t error = 0;
    auto request = HttpRequest::OpenUrl(internet, server.Url("/f"), error);
    ASSERT_NE(request, nullptr) << error;
    int64_t length = 0;
    ASSERT_TRUE(request->ContentLength(length));
    EXPECT_EQ(length, static_cast<int64_t>(content.size()));
    std::string type;
    ASSERT_TRUE(request->ContentType(type));
    EXPECT_EQ(type, "application/octet-stream");
    EXPECT_EQ(request->Status(), 200);
    EXPECT_EQ(request->RawHeaders().compare(0, 5, "HTTP/"), 0);
    EXPECT_EQ(request->PrimaryIp(), "127.0.0.1");
    std::string received;
    std::vector<char> block(131070);
    for (;;) {
        int64_t n = request->Read(block.data(), block.size(), error);
        ASSERT_GE(n, 0);
        if (n == 0) break;
        // Every read but the last is filled completely.
        if (received.size() + static_cast<size_t>(n) < content.size()) {
            EXPECT_EQ(n, 131070);
        }
        received.append(block.data(), static_cast<size_t>(n));
    }
    EXPECT_EQ(received, content);
    EXPECT_TRUE(request->BodyComplete());
}

TEST_F(OsHttpTest, RequestIsSentAgainWithANewRangeOverTheSameConnection) {
    std::string content = RandomBytes(10000, 2);
    server.SetFile("/f", content);
    uint32_t error = 0;
    auto connection = HttpConnection::Connect(internet, "127.0.0.1", server.Port(), error);
    ASSERT_NE(connection, nullptr);
    auto request = connection->OpenRequest("GET", "/f", error);
    ASSERT_NE(request, nullptr);
    std::vector<std::pair<uint32_t, uint32_t>> ranges = {{5, 5}, {100, 1099}, {9000, 9999}};
    for (auto [first, last] : ranges) {
        ASSERT_TRUE(request->AddHeader("Range: bytes=" + std::to_string(first) + "-" + std::to_string(last) + "\r\n"));
        ASSERT_TRUE(request->Send(error)) << error;
        EXPECT_EQ(request->Status(), 206);
        std::string part(last - first + 1, '\0');
        EXPECT_EQ(request->Read(part.data(), part.size(), error), static_cast<int64_t>(part.size()));
        EXPECT_EQ(part, content.substr(first, last - first + 1));
    }
    auto served = server.Ranges();
    ASSERT_EQ(served.size(), 3u);
    EXPECT_EQ(served[0].first, 5u);
    EXPECT_EQ(served[0].last, 5u);
    EXPECT_EQ(server.ConnectionCount(), 1u);
}

TEST_F(OsHttpTest, FailuresAreClassified) {
    uint32_t error = 0;
    EXPECT_EQ(HttpRequest::OpenUrl(internet, "http://" + UnresolvableHost() + "/x", error), nullptr);
    EXPECT_EQ(error, HTTP_ERROR_NAME_NOT_RESOLVED);
    EXPECT_EQ(ClassifyHttpError(error), HEC_HostNotResolved);
    // Addresses and hosts refused before anything is asked of the network, by every build.
    for (const char* bad : {"https://127.0.0.1/x", "http://", "ftp://127.0.0.1/x", "", "127.0.0.1/x"}) {
        error = 0;
        EXPECT_EQ(HttpRequest::OpenUrl(internet, bad, error), nullptr) << bad;
        EXPECT_EQ(error, HTTP_ERROR_INVALID_URL) << bad;
    }
    for (const char* bad : {"", "host/path", "user@host", "two words", "tab\there", "line\r\n"}) {
        error = 0;
        EXPECT_EQ(HttpConnection::Connect(internet, bad, 80, error), nullptr) << bad;
        EXPECT_EQ(error, HTTP_ERROR_INVALID_URL) << bad;
    }
    error = 0;
    EXPECT_EQ(HttpConnection::Connect(internet, "127.0.0.1", 0, error), nullptr);
    EXPECT_EQ(error, HTTP_ERROR_INVALID_URL);
    // A port nobody listens on: the server's own port once it is gone.
    uint16_t port;
    {
        TestHttpServer gone;
        port = gone.Port();
    }
    EXPECT_EQ(HttpRequest::OpenUrl(internet, "http://127.0.0.1:" + std::to_string(port) + "/x", error), nullptr);
    EXPECT_EQ(ClassifyHttpError(error), HEC_RequestFailed);
}

TEST_F(OsHttpTest, TruncatedBodyReadsWhatCameThenFails) {
    server.SetFile("/f", RandomBytes(500000, 3));
    TestHttpServer::Fault fault;
    fault.truncateAfter = 100000;
    server.SetFault("/f", fault);
    uint32_t error = 0;
    auto request = HttpRequest::OpenUrl(internet, server.Url("/f"), error);
    ASSERT_NE(request, nullptr);
    std::vector<char> block(131070);
    int64_t total = 0;
    int64_t n;
    while ((n = request->Read(block.data(), block.size(), error)) > 0) total += n;
    EXPECT_EQ(n, -1);
    EXPECT_NE(error, HTTP_OK);
    EXPECT_EQ(total, 100000);
}

TEST_F(OsHttpTest, AbortFlagEndsABlockingRead) {
    server.SetFile("/endless", "x");
    TestHttpServer::Fault fault;
    fault.endless = true;
    server.SetFault("/endless", fault);
    uint32_t error = 0;
    auto request = HttpRequest::OpenUrl(internet, server.Url("/endless"), error);
    ASSERT_NE(request, nullptr);
    std::atomic<bool> abort{false};
    request->SetAbortFlag(&abort);
    std::thread raiser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        abort = true;
    });
    std::vector<char> block(1 << 16);
    int64_t n;
    while ((n = request->Read(block.data(), block.size(), error)) > 0) {
    }
    raiser.join();
    EXPECT_EQ(n, -1);
    EXPECT_EQ(error, HTTP_ERROR_OPERATION_CANCELLED);
}

TEST_F(OsHttpTest, RedirectIsFollowedAndOnlyTheFinalAnswerIsReported) {
    server.SetFile("/final", "the content");
    TestHttpServer::Fault moved;
    moved.redirectTo = server.Url("/final");
    server.SetFault("/old", moved);
    uint32_t error = 0;
    auto request = HttpRequest::OpenUrl(internet, server.Url("/old"), error);
    ASSERT_NE(request, nullptr) << error;
    EXPECT_EQ(request->Status(), 200);
    EXPECT_EQ(request->RawHeaders().find("302"), std::string::npos);
    EXPECT_NE(request->RawHeaders().find("200"), std::string::npos) << request->RawHeaders();
    char body[64] = {};
    EXPECT_EQ(request->Read(body, sizeof body, error), 11);
    EXPECT_STREQ(body, "the content");
}

TEST_F(OsHttpTest, SilentServerEndsTheReadWithATimeOut) {
    if (RunsUnderWine()) GTEST_SKIP() << "Wine's WinINet does not apply the receive time-out";
    internet->SetReceiveTimeoutMs(300);
    server.SetFile("/slow", RandomBytes(100000, 9));
    TestHttpServer::Fault stall;
    stall.truncateAfter = 1000;
    stall.stallMs = 1200;
    server.SetFault("/slow", stall);
    uint32_t error = 0;
    auto request = HttpRequest::OpenUrl(internet, server.Url("/slow"), error);
    ASSERT_NE(request, nullptr);
    std::vector<char> block(131070);
    EXPECT_EQ(request->Read(block.data(), block.size(), error), 1000);
    EXPECT_EQ(request->Read(block.data(), block.size(), error), -1);
    EXPECT_EQ(error, HTTP_ERROR_TIMEOUT);
}

}  // namespace
