// The batch patcher: the package catalogue and its two queues, the local package list file,
// required and optional packages, priorities, and reported paths.
#include "BatchPatcher.h"

#include <gtest/gtest.h>

#include "OsFile.h"
#include "patcher_test_support.h"

namespace patchtest {
namespace {

TEST(BatchPatcher, EmptyBatchSucceedsWithoutAnyServer) {
    RunOnWorker([] {
        TempDir dir;
        RecordingBatch batch;
        ASSERT_TRUE(batch.Setup(dir.Path("game") + "/", ClosedPort()));
        ASSERT_TRUE(batch.RunBatch());
        EXPECT_EQ(batch.events, (std::vector<std::string>{"batch-ok:0"}));
        EXPECT_TRUE(HY_OS::IsDirectory(dir.Path("game/PatchInfo"))) << "the cache directory is made";
        EXPECT_EQ(batch.GetPatcherState(), PS_Initial);
    });
}

TEST(BatchPatcher, PackageListLinesGiveNamesAndPriorities) {
    RunOnWorker([] {
        TempDir dir;
        ScopedLogCapture log;
        RecordingBatch batch;
        ASSERT_TRUE(batch.Setup(dir.Path("game") + "/", ClosedPort()));
        EXPECT_FALSE(batch.LoadPackagesFromFile(dir / "missing.txt", false, true, 1));
        EXPECT_EQ(log->Count("BatchPatcher::LoadPackages: Fail to open file"), 1);
        WriteFile(dir / "LocalPackagesList.txt", "LOW Extras\nHIG Maps\r\nSound\nABCD\nLxx y\n\n");
        ASSERT_TRUE(batch.LoadPackagesFromFile(dir / "LocalPackagesList.txt", false, true, 1));
        ASSERT_NE(batch.FindPackage("Extras"), nullptr);
        EXPECT_EQ(batch.FindPackage("Extras")->priority, 0);
        EXPECT_EQ(batch.FindPackage("Extras")->state, PKG_New) << "below the minimum: catalogued only";
        EXPECT_EQ(batch.FindPackage("Maps")->priority, 1);
        EXPECT_EQ(batch.FindPackage("Maps")->state, PKG_Queued);
        EXPECT_EQ(batch.FindPackage("Sound")->priority, 1);
        EXPECT_NE(batch.FindPackage("ABCD"), nullptr) << "four characters are a bare name";
        EXPECT_EQ(batch.FindPackage("y")->priority, 0);
        EXPECT_FALSE(batch.FindPackage("Maps")->required);
        EXPECT_EQ(batch.QueuedCount(), 3u);
    });
}

TEST(BatchPatcher, PrioritiesOrderTheBatchOptionalUnknownPackagesAreSkippedRequiredOnesFail) {
    RunOnWorker([] {
        ScopedLogCapture log;
        PatchRepo repo;
        repo.SetPackage("A", {{"A/a.bin", RandomBytes(100, 1)}});
        repo.SetPackage("B", {{"B/b.bin", RandomBytes(100, 2)}});
        auto server = ServeRepo(repo);
        TempDir dir;
        std::string install = dir.Path("game") + "/";
        {
            RecordingBatch batch;
            ASSERT_TRUE(batch.Setup(install, server->Port()));
            batch.AddPackage("B", 0, false);
            batch.AddPackage("Ghost", 1, false);
            batch.AddPackage("A", 1, true);
            ASSERT_TRUE(batch.RunBatch());
            std::vector<std::string> packages;
            for (const auto& e : batch.events)
                if (e.rfind("package:", 0) == 0) packages.push_back(e);
            EXPECT_EQ(packages, (std::vector<std::string>{"package:Ghost", "package:A", "package:B"}));
            EXPECT_TRUE(batch.Has("failed:Ghost:11"));
            EXPECT_TRUE(batch.Has("batch-ok:2"));
            EXPECT_EQ(log->Count("BatchPatcher::OnPatcherStopped: Pkg Ghost not in latest file list"), 1);
            EXPECT_EQ(server->received.size(), 1u) << "only the first package asks the server";
            EXPECT_TRUE(Exists(install + "B/b.bin"));
        }
        {
            RecordingBatch batch;
            ASSERT_TRUE(batch.Setup(install, server->Port()));
            batch.AddPackage("Ghost", 1, true);
            batch.AddPackage("A", 0, true);
            ASSERT_TRUE(batch.RunBatch());
            EXPECT_TRUE(batch.Has("batch-failed:11"));
            EXPECT_FALSE(batch.Has("package:A")) << "the batch ends at the missing required package";
        }
    });
}

TEST(BatchPatcher, PathsAreRelativeUnlessAbsolutePathsAreKeptAndAStopEndsTheBatch) {
    RunOnWorker([] {
        PatchRepo repo;
        repo.SetPackage("Base", {{"Data/a.bin", RandomBytes(100, 1)}});
        auto server = ServeRepo(repo);
        TempDir dir;
        std::string install = dir.Path("game") + "/";
        RecordingBatch batch;
        ASSERT_TRUE(batch.Initialize(install, HY_DATA_SOURCE_DIR, install + "PatchInfo/", "127.0.0.1",
                                     server->Port(), true));
        batch.AddPackage("Base", 1, true);
        ASSERT_TRUE(batch.RunBatch());
        EXPECT_TRUE(batch.Has("changed:" + install + "Data/a.bin"));

        // A stop while the batch runs ends it with OnBatchStopped and no verdict.
        RecordingBatch stopped;
        ASSERT_TRUE(stopped.Setup(dir.Path("other") + "/", server->Port()));
        stopped.AddPackage("Base", 1, true);
        ASSERT_TRUE(stopped.Start());
        EXPECT_FALSE(stopped.Start()) << "a running batch is not started again";
        EXPECT_FALSE(stopped.Reset());
        ASSERT_TRUE(stopped.Stop());
        ASSERT_TRUE(PumpUntil([&] { return stopped.finished; }));
        EXPECT_EQ(stopped.events.back(), "batch-stopped");
        EXPECT_EQ(stopped.GetBatchState(), BS_Ready);
        EXPECT_EQ(stopped.GetPatcherState(), PS_Stopped);
        EXPECT_EQ(stopped.Count("batch-"), 1u);
    });
}

}  // namespace
}  // namespace patchtest
