#include "HYHttpFileClient.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include "OsFile.h"
#include "OsSysCalls.h"
#include "datalayer_test_support.h"
#include "OsHost.h"
#include "http_test_support.h"
#include "test_http_server.h"

namespace {

class FullDisk : public HY_OS::OsSysCalls {
public:
    explicit FullDisk(int64_t free) : m_free(free) {}
    int64_t FreeDiskSpace(const std::string&) override { return m_free; }

private:
    int64_t m_free;
};

class HttpFileClientTest : public ::testing::Test {
protected:
    LogCapture log;
    TestHttpServer server;
    TempDir dir;
    RecordingClient client;
};

TEST_F(HttpFileClientTest, WholeFileIsCheckedAndInstalledWithoutLeavingItsTemporaryFile) {
    std::string content = RandomBytes(300000, 1);
    server.SetFile("/data/file.bin", content);
    std::string local = dir / "sub\\dir/file.bin";
    client.Download(server.Url("/data/file.bin"), local, DT_WholeFile, content.size(), Crc(content));
    ASSERT_TRUE(client.RunUntilAllProcessed());
    const Notification* done = client.Last("downloaded");
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(done->bytesDone, content.size());
    EXPECT_EQ(done->bytesTransferred, content.size());
    EXPECT_GT(done->lastWriteTime, 0u);
    EXPECT_EQ(client.Count("started"), 1u);
    std::string installed = dir / "sub/dir/file.bin";
    EXPECT_EQ(ReadFile(installed), content);
    EXPECT_FALSE(Exists(installed + ".tmp"));
    EXPECT_EQ(client.SessionBytesReceived(0), content.size());
    EXPECT_TRUE(log->Contains("DownloadEngine::OpenUrl (" + server.Url("/data/file.bin") + ")."));
}

TEST_F(HttpFileClientTest, GzipFileIsUnpackedCheckedAndTheCompressedCopyRemoved) {
    std::string content = std::string(200000, 'a') + RandomBytes(1000, 2);
    std::string packed = Gzip(content);
    server.SetFile("/file.txt.gz", packed);
    std::string local = dir / "file.txt";
    client.Download(server.Url("/file.txt.gz"), local, DT_Compressed, content.size(), Crc(content),
                    packed.size());
    ASSERT_TRUE(client.RunUntilAllProcessed());
    const Notification* done = client.Last("downloaded");
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(done->bytesDone, content.size());
    EXPECT_EQ(done->bytesTransferred, packed.size());
    EXPECT_EQ(ReadFile(local), content);
    EXPECT_FALSE(Exists(local + ".gz"));
    EXPECT_FALSE(Exists(local + ".tmp"));
}

TEST_F(HttpFileClientTest, CurrentFileIsReportedWithoutARequestUnlessDownloadIsForced) {
    std::string content = RandomBytes(5000, 3);
    server.SetFile("/f", content);
    std::string local = dir / "f";
    WriteFile(local, content);
    client.Download(server.Url("/f"), local, DT_WholeFile, content.size(), Crc(content));
    ASSERT_TRUE(client.RunUntilAllProcessed());
    const Notification* current = client.Last("current");
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current->bytesDone, content.size());
    EXPECT_GT(current->lastWriteTime, 0u);
    EXPECT_EQ(server.RequestCount(), 0u);

    client.Download(server.Url("/f"), local, DT_WholeFile, content.size(), Crc(content), 0, 0, 0, true);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    EXPECT_EQ(client.Count("downloaded"), 1u);
    EXPECT_EQ(server.RequestCount(), 1u);
}

TEST_F(HttpFileClientTest, NotFoundPageFailsAsRequestFailed) {
    client.Download(server.Url("/missing"), dir / "missing", DT_WholeFile, 100, 0x1234);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    ASSERT_NE(client.Last("failed"), nullptr);
    EXPECT_EQ(client.Last("failed")->failure, DF_RequestFailed);
    EXPECT_TRUE(log->Contains("URL not exists: " + server.Url("/missing")));
    EXPECT_FALSE(Exists(dir / "missing"));
}

TEST_F(HttpFileClientTest, ReportedLengthOrContentThatDifferFailVerificationAndKeepTheInstalledFile) {
    std::string content = RandomBytes(1000, 4);
    server.SetFile("/f", content);
    std::string local = dir / "f";
    WriteFile(local, "installed");
    client.Download(server.Url("/f"), local, DT_WholeFile, 999, Crc(content));
    client.Download(server.Url("/f"), local, DT_WholeFile, 1000, Crc(content) ^ 1);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    ASSERT_EQ(client.Count("failed"), 2u);
    for (const auto& note : client.m_notes) {
        if (note.what == "failed") {
            EXPECT_EQ(note.failure, DF_VerifyFailed);
        }
    }
    EXPECT_TRUE(log->Contains("FileInfo filesize mismatch with URL filesize"));
    EXPECT_TRUE(log->Contains("Expected size: 999, reported size: 1000"));
    EXPECT_TRUE(log->Contains("Downloaded file's length or CRC not matching the original's"));
    EXPECT_EQ(ReadFile(local), "installed");
    EXPECT_FALSE(Exists(local + ".tmp"));
}

TEST_F(HttpFileClientTest, SizeAndCrcZeroAcceptWhateverTheServerSends) {
    server.SetFile("/any", "anything at all");
    client.Download(server.Url("/any"), dir / "any", DT_WholeFile, 0, 0);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    EXPECT_EQ(client.Count("downloaded"), 1u);
    EXPECT_EQ(ReadFile(dir / "any"), "anything at all");
}

TEST_F(HttpFileClientTest, ErrorAnswerIsNeverTakenForTheFileEvenWithoutSizeOrCrc) {
    server.SetFile("/broken", "<html>Internal error</html>");
    TestHttpServer::Fault fault;
    fault.status = 500;
    fault.contentType = "text/html";
    server.SetFault("/broken", fault);
    client.Download(server.Url("/broken"), dir / "broken", DT_WholeFile, 0, 0);
    client.Download(server.Url("/broken"), dir / "broken.txt", DT_Compressed, 0, 0, 27);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    ASSERT_EQ(client.Count("failed"), 2u);
    EXPECT_EQ(client.Last("failed")->failure, DF_RequestFailed);
    EXPECT_FALSE(Exists(dir / "broken"));
    EXPECT_FALSE(Exists(dir / "broken.txt"));
}

TEST_F(HttpFileClientTest, UnresolvableHostFailsAsHostNotFound) {
    client.Download("http://" + UnresolvableHost() + "/f", dir / "f", DT_WholeFile, 10, 1);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    ASSERT_NE(client.Last("failed"), nullptr);
    EXPECT_EQ(client.Last("failed")->failure, DF_HostNotFound);
}

TEST_F(HttpFileClientTest, TooLittleFreeSpaceFailsAsDiskFullBeforeAnyConnection) {
    server.SetFile("/f", RandomBytes(5000, 5));
    FullDisk disk(5000 + 1048576);
    HY_OS::ScopedSysCalls scoped(disk);
    client.Download(server.Url("/f"), dir / "f", DT_WholeFile, 5000, 0);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    ASSERT_NE(client.Last("failed"), nullptr);
    EXPECT_EQ(client.Last("failed")->failure, DF_DiskFull);
    EXPECT_EQ(server.RequestCount(), 0u);
}

TEST_F(HttpFileClientTest, RetryFromScratchDeletesTheTemporaryAndLocalFilesBeforeQueueingAgain) {
    std::string content = RandomBytes(4000, 6);
    server.SetFile("/f", content);
    TestHttpServer::Fault fault;
    fault.truncateAfter = 1000;
    server.SetFault("/f", fault);
    std::string local = dir / "f";
    WriteFile(local, "old");
    // The second attempt fails before it touches any file, so what is left shows the clean-up.
    FullDisk disk(0);
    std::optional<HY_OS::ScopedSysCalls> fullDisk;
    client.m_answers = {RA_RetryFromScratch, RA_Drop};
    client.m_onFailure = [&] {
        if (!fullDisk) fullDisk.emplace(disk);
    };
    client.Download(server.Url("/f"), local, DT_WholeFile, content.size(), Crc(content));
    ASSERT_TRUE(client.RunUntilAllProcessed());
    ASSERT_EQ(client.Count("failed"), 2u);
    EXPECT_EQ(client.m_notes[1].failure, DF_TransferFailed);
    EXPECT_EQ(client.Last("failed")->failure, DF_DiskFull);
    EXPECT_TRUE(log->Contains("Retry without resuming (deleting tmp file)"));
    EXPECT_FALSE(Exists(local));
    EXPECT_FALSE(Exists(local + ".tmp"));
}

TEST_F(HttpFileClientTest, EndlessBodyEndsAsVerifyFailureOnceItPassesTheExpectedSize) {
    server.SetFile("/endless", "x");
    TestHttpServer::Fault fault;
    fault.endless = true;
    server.SetFault("/endless", fault);
    std::string local = dir / "endless";
    client.Download(server.Url("/endless"), local, DT_WholeFile, 200000, 0);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    ASSERT_NE(client.Last("failed"), nullptr);
    EXPECT_EQ(client.Last("failed")->failure, DF_VerifyFailed);
    // The partial download is kept for a later resume, cut at the expected size.
    EXPECT_GT(HY_OS::FileLength(local + ".tmp"), 0);
    EXPECT_LE(HY_OS::FileLength(local + ".tmp"), 200000);
    EXPECT_FALSE(Exists(local));
}

TEST_F(HttpFileClientTest, BrokenGzipDownloadsFailWithoutInstallingAnything) {
    std::string content(100000, 'q');
    std::string garbage = "this is not gzip data at all";
    server.SetFile("/garbage.gz", garbage);
    std::string bomb = Gzip(std::string(5000000, 'b'));
    server.SetFile("/bomb.gz", bomb);
    client.Download(server.Url("/garbage.gz"), dir / "garbage", DT_Compressed, 0, 0, garbage.size());
    client.Download(server.Url("/bomb.gz"), dir / "bomb", DT_Compressed, content.size(), Crc(content),
                    bomb.size());
    ASSERT_TRUE(client.RunUntilAllProcessed());
    ASSERT_EQ(client.Count("failed"), 2u);
    for (const auto& note : client.m_notes) {
        if (note.what == "failed") {
            EXPECT_EQ(note.failure, DF_FileError);
        }
    }
    EXPECT_TRUE(log->Contains("Unable to decompress file " + (dir / "garbage") + ".gz"));
    EXPECT_TRUE(log->Contains("Decompressed file's length not matching the original's"));
    EXPECT_FALSE(Exists(dir / "garbage"));
    EXPECT_FALSE(Exists(dir / "bomb"));
    EXPECT_FALSE(Exists(dir / "bomb.tmp"));
}

TEST_F(HttpFileClientTest, StopAbortsTheRunningDownloadAndAsksTheOwner) {
    server.SetFile("/endless", "x");
    TestHttpServer::Fault fault;
    fault.endless = true;
    server.SetFault("/endless", fault);
    client.Download(server.Url("/endless"), dir / "endless", DT_WholeFile, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return client.Count("started") == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(client.Stop(), 0);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    EXPECT_EQ(client.Count("retry"), 1u);
    EXPECT_EQ(client.Count("failed"), 0u);
    EXPECT_EQ(client.State(), HCS_Initialised);
}

TEST_F(HttpFileClientTest, ManyQueuedFilesAreAllProcessedOnce) {
    for (int i = 0; i < 20; ++i) {
        std::string content = RandomBytes(1000 + i, 100 + i);
        std::string path = "/many/" + std::to_string(i);
        server.SetFile(path, content);
        client.AddFile(server.Url(path), dir / ("m" + std::to_string(i)), DT_WholeFile, 0,
                       content.size(), Crc(content), 0, 0, 0, false, false);
    }
    client.Start();
    ASSERT_TRUE(client.RunUntilAllProcessed());
    EXPECT_EQ(client.Count("downloaded"), 20u);
    EXPECT_EQ(client.PendingCount(), 0u);
    EXPECT_EQ(client.ActiveCount(), 0u);
}

TEST_F(HttpFileClientTest, PausedClientKeepsItsQueueUntilStartedAgain) {
    std::string content = RandomBytes(2000, 7);
    server.SetFile("/p", content);
    ASSERT_EQ(client.Start(), 0);
    ASSERT_TRUE(PumpUntil([&] { return client.State() == HCS_Running; }));
    ASSERT_EQ(client.Pause(), 0);
    EXPECT_EQ(client.Pause(), 1);
    client.AddFile(server.Url("/p"), dir / "p", DT_WholeFile, 0, content.size(), Crc(content), 0, 0, 0,
                   false, false);
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(server.RequestCount(), 0u);
    EXPECT_EQ(client.PendingCount(), 1u);
    ASSERT_EQ(client.Start(), 0);
    ASSERT_TRUE(client.RunUntilAllProcessed());
    EXPECT_EQ(ReadFile(dir / "p"), content);
}

}  // namespace
