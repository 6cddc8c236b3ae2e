// The client against a real web server: whole files, gzip files and WAD archive updates served
// by an nginx of the test's own on loopback.
#include <gtest/gtest.h>

#include <map>

#include "datalayer_test_support.h"
#include "http_test_support.h"
#include "nginx_server.h"
#include "wad_test_support.h"

namespace {

class NginxDownloadTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(nginx.Start()) << nginx.Error(); }

    LogCapture log;
    NginxServer nginx;
    TempDir dir;
    TempDir work;
    RecordingClient client;
};

TEST_F(NginxDownloadTest, WholeAndGzipFilesAndAMissingOne) {
    std::string content = RandomBytes(700000, 11);
    std::string text = std::string(300000, 't') + RandomBytes(5000, 12);
    std::string packed = Gzip(text);
    nginx.PutFile("/files/a.bin", content);
    nginx.PutFile("/files/b.txt.gz", packed);
    client.Download(nginx.Url("/files/a.bin"), dir / "a.bin", DT_WholeFile, content.size(), Crc(content));
    client.Download(nginx.Url("/files/b.txt.gz"), dir / "b.txt", DT_Compressed, text.size(), Crc(text),
                    packed.size());
    client.Download(nginx.Url("/files/none.bin"), dir / "none.bin", DT_WholeFile, 10, 1);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    EXPECT_EQ(client.Count("downloaded"), 2u);
    EXPECT_EQ(ReadFile(dir / "a.bin"), content);
    EXPECT_EQ(ReadFile(dir / "b.txt"), text);
    ASSERT_NE(client.Last("failed"), nullptr);
    EXPECT_EQ(client.Last("failed")->failure, DF_RequestFailed);
    EXPECT_TRUE(LogHas(*log, "URL not exists: " + nginx.Url("/files/none.bin")));
}

TEST_F(NginxDownloadTest, WadArchiveUpdateFetchesOnlyTheChangedElements) {
    std::map<std::string, std::string> elements;
    for (int i = 0; i < 12; ++i) elements["e" + std::to_string(10 + i)] = RandomBytes(20000 + i, 200 + i);
    PublishedWad installed = PublishWad(elements, work.Path());
    elements["e13"] = RandomBytes(25000, 300);
    elements["e14"] = RandomBytes(15000, 301);
    elements["e20"] = RandomBytes(20010, 302);
    PublishedWad published = PublishWad(elements, work.Path());
    nginx.PutFile("/game/Data.wad", published.archive);
    nginx.PutFile("/game/Data.wad.hdr.gz", published.headerGz);
    std::string local = dir / "Data.wad";
    WriteFile(local, installed.archive);
    client.Download(nginx.Url("/game/Data.wad"), local, DT_WadArchive, published.info.archiveSize,
                    published.info.archiveCrc, published.info.headerSize,
                    published.info.compressedHeaderSize, published.info.headerCrc);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    ASSERT_EQ(client.Count("downloaded"), 1u);
    EXPECT_EQ(ReadFile(local), published.archive);
    uint32_t changed = PlaceOf(published, "e13", work.Path()).packedSize +
                       PlaceOf(published, "e14", work.Path()).packedSize +
                       PlaceOf(published, "e20", work.Path()).packedSize;
    EXPECT_EQ(client.Last("downloaded")->bytesTransferred, changed + published.info.compressedHeaderSize);
    // One header request and two ranges (e13 with e14, then e20).
    std::string access = nginx.AccessLog();
    size_t partial = 0;
    for (size_t at = access.find("\" 206 "); at != std::string::npos; at = access.find("\" 206 ", at + 1)) ++partial;
    EXPECT_EQ(partial, 2u);
}

}  // namespace
