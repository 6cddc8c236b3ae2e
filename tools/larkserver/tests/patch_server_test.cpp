// The patch role through real client sessions: the reply names the repository's list with its
// size, CRC and version; a locale the repository does not serve gets "ERROR1"; a new publish is
// served without a restart; a malformed request closes only its own connection.
#include <gtest/gtest.h>
#include <netinet/in.h>

#include "Crc.h"
#include "OsEnv.h"
#include "OsFile.h"
#include "PatchServer.h"
#include "WorkerPump.h"
#include "patch_test_support.h"

namespace {

using namespace patchtest;
const std::string kUrlBase = "http://127.0.0.1:8123";

void RunOnWorker(const std::function<void()>& body) {
    HY_OS::SetEnv("HY_HOSTNAME", "localhost");
    hytest::RunOnWorker(body, "PatchTest");
}

// Reads the repository and listens on a free loopback port.
bool Serve(PatchServer& server) {
    std::string error;
    EXPECT_TRUE(server.LoadRepository(error)) << error;
    return error.empty() && server.Listen(HYInetAddress(INADDR_LOOPBACK, 0)) == 0;
}

uint32_t FileCrc(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(HY_OS::ReadWholeFile(path, bytes)) << path;
    return CrcUpdate(0, bytes.data(), bytes.size());
}

TEST(PatchServer, AnswersAServedLocaleWithTheListAndAnyOtherWithError1) {
    PublishedRepository repository("English");
    RunOnWorker([&] {
        PatchServer server(repository.repo, kUrlBase, "?v=1");
        ASSERT_TRUE(Serve(server));

        ListClient known("English");
        ASSERT_TRUE(known.Ask(server.Port()));
        ASSERT_TRUE(known.reply);
        const DMLRecord& r = *known.reply;
        std::string list = repository.Path("lists/1/LatestFileList.xml");
        EXPECT_EQ(r.FindField("Locale")->ToStr(), "English");
        EXPECT_EQ(r.FindField("URLPrefix")->ToStr(), kUrlBase);
        EXPECT_EQ(r.FindField("URLSuffix")->ToStr(), "?v=1");
        EXPECT_EQ(r.FindField("ListFileName")->ToStr(), "LatestFileList.xml");
        EXPECT_EQ(r.FindField("ListFileURL")->ToStr(),
                  kUrlBase + "/lists/1/LatestFileList.xml?v=1");
        EXPECT_EQ(r.FindField("ListFileSize")->GetUInt(), HY_OS::FileLength(list));
        EXPECT_EQ(r.FindField("ListFileCRC")->GetUInt(), FileCrc(list));
        EXPECT_EQ(r.FindField("LatestVersion")->GetUInt(), 1u);
        EXPECT_EQ(r.FindField("ListFileType")->GetUInt(), 1u);

        ListClient unknown("Klingon", 2);
        ASSERT_TRUE(unknown.Ask(server.Port()));
        ASSERT_TRUE(unknown.reply);
        EXPECT_EQ(unknown.reply->FindField("Locale")->ToStr(), "ERROR1");
        EXPECT_EQ(unknown.reply->FindField("ListFileURL")->ToStr(), "");
        EXPECT_EQ(server.RequestsReceived(), 2u);
        EXPECT_EQ(server.MalformedRequests(), 0u);
    });
}

TEST(PatchServer, ServesANewPublishWithoutARestart) {
    PublishedRepository repository;
    RunOnWorker([&] {
        PatchServer server(repository.repo, kUrlBase);
        ASSERT_TRUE(Serve(server));
        ListClient before("English");
        ASSERT_TRUE(before.Ask(server.Port()) && before.reply);
        EXPECT_EQ(before.reply->FindField("LatestVersion")->GetUInt(), 1u);

        repository.build["Game.exe"] = "patched";
        repository.options.listType = 2;
        ASSERT_EQ(repository.Publish().version, 2u);
        ListClient after("English");
        ASSERT_TRUE(after.Ask(server.Port()) && after.reply);
        EXPECT_EQ(after.reply->FindField("LatestVersion")->GetUInt(), 2u);
        EXPECT_EQ(after.reply->FindField("ListFileType")->GetUInt(), 2u);
        EXPECT_EQ(after.reply->FindField("ListFileName")->ToStr(), "LatestFileList.bin");
        std::string list = repository.Path("lists/2/LatestFileList.bin");
        EXPECT_EQ(after.reply->FindField("ListFileCRC")->GetUInt(), FileCrc(list));
    });
}

TEST(PatchServer, AMalformedOrForeignRequestClosesOnlyItsConnection) {
    PublishedRepository repository;
    RunOnWorker([&] {
        PatchServer server(repository.repo, kUrlBase);
        ASSERT_TRUE(Serve(server));
        for (std::string bytes : {std::string("\x08\x01\xff\xff garbage", 12),
                                  std::string("\x63\x01", 2), std::string("\x01", 1)}) {
            ListClient hostile("English");
            hostile.rawRequest = bytes;
            ASSERT_TRUE(hostile.Ask(server.Port()));
            EXPECT_TRUE(hostile.closed);
            EXPECT_FALSE(hostile.reply);
        }
        EXPECT_EQ(server.MalformedRequests(), 3u);
        ListClient fine("English");
        ASSERT_TRUE(fine.Ask(server.Port()));
        ASSERT_TRUE(fine.reply);
        EXPECT_EQ(fine.reply->FindField("LatestVersion")->GetUInt(), 1u);
    });
}

TEST(PatchServer, ARepositoryThatCannotBeReadIsReported) {
    hytest::TempDir empty;
    PatchServer server(empty.Path(), kUrlBase);
    std::string error;
    EXPECT_FALSE(server.LoadRepository(error));
    EXPECT_NE(error.find("repository.txt"), std::string::npos) << error;
    HY_OS::WriteFileAtomic(empty / "repository.txt", "version 4\n");
    EXPECT_FALSE(server.LoadRepository(error));
    EXPECT_NE(error.find("lists/4/LatestFileList.xml"), std::string::npos) << error;
}

}  // namespace
