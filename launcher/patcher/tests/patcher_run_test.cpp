// Whole runs against a scripted patch server and the loopback HTTP server: a first install, the
// CRC cache vouching for files on later runs, touched and changed files, both list forms, and
// the permission bits of installed files.
#include "Patcher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "CrcCache.h"
#include "PackageFile.h"
#include "OsFile.h"
#include "patcher_test_support.h"

namespace patchtest {
namespace {

const std::string kElf = std::string("\x7f" "ELF\x02\x01\x01", 7) + std::string(500, '\0');

std::vector<RepoFile> BaseFiles() {
    return {{"Data/a.bin", RandomBytes(3000, 1)},
            {"Bin/run.sh", "#!/bin/sh\necho hello\n"},
            {"Data/text.txt", std::string(90000, 'q') + RandomBytes(100, 2), PFT_Compressed},
            {"Data/src-name.dat", RandomBytes(777, 3), 0, "Data/Renamed.dat"}};
}

uint32_t Mode(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

// A repository of BaseFiles() served by a scripted patch server, and an install folder.
struct BaseRepo {
    TempDir dir;
    std::string install = dir.Path("game") + "/";
    PatchRepo repo;
    std::unique_ptr<ScriptedServer> server;
    BaseRepo() {
        repo.SetPackage("Base", BaseFiles());
        server = ServeRepo(repo);
    }
};

TEST(PatcherRun, FirstInstallFetchesEverythingThenTheCacheVouchesForTheFilesWithoutARequest) {
    RunOnWorker([] {
        BaseRepo base;
        std::string install = base.install;
        PatchRepo& repo = base.repo;
        auto& server = base.server;

        RecordingBatch batch;
        ASSERT_TRUE(batch.Setup(install, server->Port()));
        EXPECT_EQ(batch.AddPackage("Base", 1, true), PKG_Queued);
        ASSERT_TRUE(batch.RunBatch());
        EXPECT_TRUE(batch.Has("batch-ok:4")) << ::testing::PrintToString(batch.events);
        for (const RepoFile& f : BaseFiles())
            EXPECT_EQ(ReadFile(install + (f.tar.empty() ? f.src : f.tar)), f.content) << f.src;
        EXPECT_TRUE(batch.Has("changed:Data/Renamed.dat"));
        EXPECT_FALSE(Exists(install + "Data/text.txt.gz"));
        ASSERT_EQ(server->received.size(), 1u);
        EXPECT_EQ(server->received[0].name, "MSG_LATEST_FILE_LIST_V2");
        EXPECT_EQ(server->received[0].request.FindField("ListFileSize")->GetUInt(), 1u);
        EXPECT_EQ(server->received[0].request.FindField("Locale")->ToStr(), "English");
        ASSERT_EQ(batch.outcomes.size(), 1u);
        EXPECT_EQ(batch.outcomes[0].altered, 4u);
        EXPECT_GT(batch.outcomes[0].downloaded, 0u);
        EXPECT_EQ(batch.GetPatcherState(), PS_Stopped);
        EXPECT_EQ(batch.FindPackage("Base")->state, PKG_Current);

        // The same process again: the loaded list is reused and the cache confirms every file.
        repo.http.ClearRecords();
        batch.events.clear();
        batch.outcomes.clear();
        EXPECT_EQ(batch.AddPackage("Base", 1, true), PKG_Current) << "a current package is not queued again";
        ASSERT_TRUE(batch.Reset());
        EXPECT_EQ(batch.AddPackage("Base", 1, true), PKG_Queued);
        ASSERT_TRUE(batch.RunBatch());
        EXPECT_EQ(server->received.size(), 1u) << "no second list request";
        EXPECT_EQ(repo.http.RequestCount(), 0u);
        EXPECT_EQ(batch.Count("unchanged:"), 4u);
        ASSERT_EQ(batch.outcomes.size(), 1u);
        EXPECT_EQ(batch.outcomes[0].altered, 0u);
        EXPECT_EQ(batch.outcomes[0].downloaded, 0u);
        EXPECT_EQ(batch.outcomes[0].saved, 0u);

        // A new process: the server is asked, the list on disk is current and the cache still
        // confirms every file.
        RecordingBatch later;
        ASSERT_TRUE(later.PatchPackage(install, server->Port()));
        EXPECT_EQ(server->received.size(), 2u);
        EXPECT_EQ(repo.http.RequestCount(), 0u);
        EXPECT_TRUE(later.Has("batch-ok:0"));
        EXPECT_EQ(later.Count("unchanged:"), 4u);
    });
}

TEST(PatcherRun, TouchedFileIsCheckedByCrcNotFetchedWhileAChangedFileIsFetchedAgain) {
    RunOnWorker([] {
        BaseRepo base;
        std::string install = base.install;
        PatchRepo& repo = base.repo;
        auto& server = base.server;
        {
            RecordingBatch first;
            ASSERT_TRUE(first.PatchPackage(install, server->Port()));
            ASSERT_EQ(first.batchFailure, 0);
        }
        std::string touched = install + "Data/a.bin";
        int64_t newTime = HY_OS::LastWriteTimeMs(touched) + 86400000;
        ASSERT_TRUE(HY_OS::SetLastWriteTimeMs(touched, newTime));
        std::string changed = install + "Data/Renamed.dat";
        WriteFile(changed, RandomBytes(777, 99));
        repo.http.ClearRecords();

        RecordingBatch batch;
        ASSERT_TRUE(batch.PatchPackage(install, server->Port()));
        EXPECT_TRUE(batch.Has("batch-ok:1")) << ::testing::PrintToString(batch.events);
        EXPECT_TRUE(batch.Has("unchanged:Data/a.bin"));
        EXPECT_EQ(repo.http.RequestCount("/files/Data/a.bin"), 0u);
        EXPECT_TRUE(batch.Has("changed:Data/Renamed.dat"));
        EXPECT_EQ(repo.http.RequestCount("/files/Data/src-name.dat"), 1u);
        EXPECT_EQ(ReadFile(changed), BaseFiles()[3].content);

        // The cache now holds the touched file's new time, so the next run skips it unread.
        CrcCache cache;
        cache.LoadCacheFile("Base", install + "PatchInfo/");
        uint32_t hash = Crc("Data/a.bin");
        long entry = cache.FindEntry(hash, 3000, Crc(BaseFiles()[0].content));
        ASSERT_GE(entry, 0);
        EXPECT_EQ(static_cast<int64_t>(cache.At(static_cast<size_t>(entry)).lastWriteMs), newTime);
        EXPECT_EQ(cache.Remaining(), 4u);
    });
}

TEST(PatcherRun, BinaryListInstallsTheSameFilesAsTheXmlList) {
    RunOnWorker([] {
        TempDir dir;
        std::string install = dir.Path("game") + "/";
        PatchRepo repo;
        repo.listType = 2;
        repo.SetPackage("Base", BaseFiles());
        ASSERT_EQ(repo.listName, "LatestFileList.bin");
        auto server = ServeRepo(repo);
        RecordingBatch batch;
        ASSERT_TRUE(batch.PatchPackage(install, server->Port()));
        EXPECT_TRUE(batch.Has("batch-ok:4")) << ::testing::PrintToString(batch.events);
        EXPECT_EQ(ReadFile(install + "Data/a.bin"), BaseFiles()[0].content);
        EXPECT_EQ(ReadFile(install + "PatchInfo/LatestFileList.bin"), repo.listBytes);
    });
}

TEST(PatcherRun, ReplacedFileKeepsItsPermissionBitsNewProgramsBecomeExecutableDataDoesNot) {
    RunOnWorker([] {
        TempDir dir;
        std::string install = dir.Path("game") + "/";
        PatchRepo repo;
        repo.SetPackage("Base", {{"Bin/game", kElf},
                                 {"Bin/run.sh", "#!/bin/sh\nexit 0\n"},
                                 {"Data/plain.bin", RandomBytes(100, 5)},
                                 {"Data/private.cfg", "new settings"}});
        auto server = ServeRepo(repo);
        WriteFile(install + "Data/private.cfg", "old settings");
        ASSERT_EQ(::chmod((install + "Data/private.cfg").c_str(), 0600), 0);
        RecordingBatch batch;
        ASSERT_TRUE(batch.PatchPackage(install, server->Port()));
        ASSERT_EQ(batch.batchFailure, 0) << ::testing::PrintToString(batch.events);
        EXPECT_EQ(ReadFile(install + "Data/private.cfg"), "new settings");
        EXPECT_EQ(Mode(install + "Data/private.cfg"), 0600u);
        EXPECT_NE(Mode(install + "Bin/game") & 0100, 0u);
        EXPECT_NE(Mode(install + "Bin/run.sh") & 0100, 0u);
        EXPECT_EQ(Mode(install + "Data/plain.bin") & 0111, 0u);

        // An executable the user restricted stays as restricted when it is replaced.
        ASSERT_EQ(::chmod((install + "Bin/game").c_str(), 0700), 0);
        repo.SetPackage("Base", {{"Bin/game", kElf + "v2"}});
        repo.version = 8;
        repo.Publish();
        RecordingBatch update;
        ASSERT_TRUE(update.PatchPackage(install, server->Port()));
        ASSERT_TRUE(update.Has("changed:Bin/game")) << ::testing::PrintToString(update.events);
        EXPECT_EQ(Mode(install + "Bin/game"), 0700u);
    });
}

}  // namespace
}  // namespace patchtest

namespace patchtest {
namespace {

// A batch whose cache clock stands still, or moves on by a save interval at every reading.
class ClockedBatch : public RecordingBatch {
public:
    explicit ClockedBatch(uint64_t step) : m_step(step) {}

protected:
    uint64_t CacheClockMs() const override { return m_now += m_step; }

private:
    uint64_t m_step;
    mutable uint64_t m_now = 1000000;
};

// The cache is saved when the package is queued and when the run ends, and in between at most
// once per interval, instead of once per file: the write volume is linear in the package size.
TEST(PatcherRun, CacheIsSavedAtTheEndAndAtMostOncePerIntervalNotAfterEveryFile) {
    RunOnWorker([] {
        constexpr uint32_t kFiles = 200;
        std::vector<RepoFile> files;
        for (uint32_t i = 0; i < kFiles; ++i)
            files.push_back({"Data/f" + std::to_string(i) + ".bin", RandomBytes(64 + i, 100 + i)});
        const uint64_t fullCache = uint64_t{kFiles} * CrcCache::kEntryBytes;
        // What saving after every file writes: 1 + 2 + ... + kFiles entries.
        const uint64_t everyFile = fullCache * (kFiles + 1) / 2;
        for (uint64_t step : {uint64_t{0}, Patcher::kCacheSaveIntervalMs}) {
            SCOPED_TRACE("clock step " + std::to_string(step));
            TempDir dir;
            std::string install = dir.Path("game") + "/";
            PatchRepo repo;
            repo.SetPackage("Base", files);
            auto server = ServeRepo(repo);
            ClockedBatch batch(step);
            ASSERT_TRUE(batch.PatchPackage(install, server->Port()));
            ASSERT_EQ(batch.batchFailure, 0);

            CrcCache saved;
            saved.LoadCacheFile("Base", install + "PatchInfo/");
            EXPECT_EQ(saved.Remaining(), kFiles);
            if (step == 0) {
                // Nothing to vouch for when queued, everything at the end.
                EXPECT_EQ(batch.Cache().BytesWritten(), fullCache);
            } else {
                // A clock past the interval at every file: a save per file, as before.
                EXPECT_EQ(batch.Cache().BytesWritten(), everyFile);
            }
        }
    });
}

}  // namespace
}  // namespace patchtest
