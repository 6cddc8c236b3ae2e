#include "SegDownloadEngine.h"

#include <gtest/gtest.h>

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
