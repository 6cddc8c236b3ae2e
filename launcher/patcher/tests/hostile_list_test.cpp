// Lists that try to write outside the install folder, and lists that are malformed: the run fails
// with a clear line, nothing is downloaded, and nothing outside the install folder appears.
#include "Patcher.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "DMLRecord.h"
#include "PackageFile.h"
#include "patcher_test_support.h"

namespace patchtest {
namespace {

struct HostileRun {
    TempDir dir;
    std::string install = dir.Path("game") + "/";
    std::string outside = dir.Path("outside");
    RecordingBatch batch;

    bool Go(uint16_t port) {
        if (!batch.Setup(install, port)) return false;
        batch.AddPackage("Base", 1, true);
        return batch.RunBatch();
    }
};

TEST(HostileList, NamesThatLeaveTheInstallFolderFailTheRunBeforeAnythingIsWritten) {
    const std::vector<std::pair<std::string, bool>> names = {
        // name, as the target (true) or as the source (false)
        {"/ABSOLUTE/evil.bin", true},
        {"../outside/evil.bin", true},
        {"Data/../../outside/evil.bin", true},
        {"..\\outside\\evil.bin", true},
        {"Data\\..\\..\\outside\\evil.bin", false},
        {std::string("Data/x.bin\0.exe", 15), true},
        {"C:evil.bin", true},
        {"../outside/evil.bin", false},
    };
    RunOnWorker([&] {
        for (const auto& [name, asTarget] : names) {
            ScopedLogCapture log;
            PatchRepo repo;
            repo.SetPackage("Base", {{"Data/good.bin", RandomBytes(300, 1)}});
            DMLRecord& bad = repo.AddRawRecord("Base");
            std::string shown = name;
            for (char& c : shown)
                if (c == '\0') c = '0';
            bad.GetField("SrcFileName").SetValue(std::string_view(asTarget ? "Data/x.bin" : name));
            bad.GetField("TarFileName").SetValue(std::string_view(asTarget ? name : ""));
            bad.GetField("FileType").SetValue(uint32_t{0});
            bad.GetField("Size").SetValue(uint32_t{3});
            bad.GetField("CRC").SetValue(Crc("bad"));
            repo.Publish();
            auto server = ServeRepo(repo);
            HostileRun run;
            ASSERT_TRUE(run.Go(server->Port())) << shown;
            EXPECT_EQ(run.batch.batchFailure, PF_ListUnreadable) << shown;
            EXPECT_EQ(log->CountPrefix("Package Base, record 1 ("), 1) << shown;
            EXPECT_EQ(log->Count("Patch failed - Error processing latest build list"), 1) << shown;
            EXPECT_EQ(repo.http.RequestCount("/files/Data/good.bin"), 0u) << shown;
            EXPECT_FALSE(Exists(run.install + "Data/good.bin")) << shown;
            EXPECT_FALSE(Exists(run.outside)) << shown;
            EXPECT_FALSE(Exists("/ABSOLUTE")) << shown;
        }
    });
}

TEST(HostileList, SymbolicLinkPlantedInTheInstallFolderIsNeverFollowed) {
    RunOnWorker([] {
        ScopedLogCapture log;
        PatchRepo repo;
        repo.SetPackage("Base", {{"Data/good.bin", RandomBytes(300, 1)}, {"Maps/map.bin", RandomBytes(400, 2)}});
        auto server = ServeRepo(repo);
        {
            HostileRun run;
            WriteFile(run.outside + "/keep", "k");
            WriteFile(run.install + "placeholder", "p");
            ASSERT_EQ(::symlink(run.outside.c_str(), (run.install + "Maps").c_str()), 0);
            ASSERT_TRUE(run.Go(server->Port()));
            EXPECT_EQ(run.batch.batchFailure, PF_ListUnreadable);
            EXPECT_EQ(log->Count("Package Base: 'Maps/map.bin' leads through a symbolic link"), 1);
            EXPECT_FALSE(Exists(run.outside + "/map.bin"));
            EXPECT_EQ(repo.http.RequestCount("/files/Data/good.bin"), 0u);

            // A link in the file's own place is refused too.
            ASSERT_EQ(::unlink((run.install + "Maps").c_str()), 0);
            WriteFile(run.install + "Maps/.keep", "");
            ASSERT_EQ(::symlink((run.outside + "/keep").c_str(), (run.install + "Maps/map.bin").c_str()), 0);
            RecordingBatch again;
            ASSERT_TRUE(again.PatchPackage(run.install, server->Port()));
            EXPECT_EQ(again.batchFailure, PF_ListUnreadable);
            EXPECT_EQ(ReadFile(run.outside + "/keep"), "k");
        }
        {
            // The positive twin: the same list into a folder without links installs both files.
            HostileRun run;
            ASSERT_TRUE(run.Go(server->Port()));
            EXPECT_EQ(run.batch.batchFailure, 0);
            EXPECT_TRUE(Exists(run.install + "Maps/map.bin"));
        }
    });
}

TEST(HostileList, MalformedRecordsAndAnUnsafeListNameFailWithAClearLine) {
    RunOnWorker([] {
        ScopedLogCapture log;
        {
            PatchRepo repo;
            repo.SetPackage("Base", {{"Data/a.bin", "aaa"}, {"Data/b.bin", "bbb", 0, "Data/a.bin"}});
            auto server = ServeRepo(repo);
            HostileRun run;
            ASSERT_TRUE(run.Go(server->Port()));
            EXPECT_EQ(run.batch.batchFailure, PF_ListUnreadable);
            EXPECT_EQ(log->CountPrefix("Package Base, record 1 ('Data/b.bin') refused: another record has the same target"), 1);
        }
        {
            PatchRepo repo;
            repo.SetPackage("Base", {{"Data/a.bin", "aaa"}});
            DMLRecord& r = repo.AddRawRecord("Base");
            r.GetField("SrcFileName").SetValue(std::string_view("Data/c.bin"));
            r.GetField("FileType").SetValue(uint32_t{0});
            repo.Publish();
            auto server = ServeRepo(repo);
            HostileRun run;
            ASSERT_TRUE(run.Go(server->Port()));
            EXPECT_EQ(run.batch.batchFailure, PF_ListUnreadable);
            EXPECT_EQ(log->Count("Package Base, record 1 ('Data/c.bin') refused: the field Size is missing"), 1);
            EXPECT_FALSE(Exists(run.install + "Data/a.bin"));
        }
        {
            PatchRepo repo;
            repo.SetPackage("Base", {{"Data/a.bin", "aaa"}});
            repo.editReply = [](DMLRecord& reply) {
                reply.GetField("ListFileName").SetValue(std::string_view("../../outside.xml"));
            };
            auto server = ServeRepo(repo);
            HostileRun run;
            ASSERT_TRUE(run.Go(server->Port()));
            EXPECT_EQ(run.batch.batchFailure, PF_ListTransferFailed);
            EXPECT_EQ(log->Count("List file name '../../outside.xml' is not a plain file name"), 1);
            EXPECT_EQ(repo.http.RequestCount(), 0u);
            EXPECT_FALSE(Exists(run.dir.Path("outside.xml")));
        }
    });
}

TEST(PackageFileNames, ContainedPathsUrlsAndDownloadTypes) {
    EXPECT_TRUE(IsContainedRelativePath("Data/a.bin"));
    EXPECT_TRUE(IsContainedRelativePath("Bin\\a.dll"));
    EXPECT_TRUE(IsContainedRelativePath("a..b/c..d"));
    EXPECT_FALSE(IsContainedRelativePath(""));
    EXPECT_FALSE(IsContainedRelativePath("./a"));
    EXPECT_FALSE(IsContainedRelativePath("a/"));
    EXPECT_FALSE(IsContainedRelativePath("\\\\server\\share"));
    EXPECT_EQ(FileUrl("p", "Bin/a.dll", PFT_Compressed, "?s"), "p/Bin/a.dll.gz?s");
    EXPECT_EQ(FileUrl("p", "Bin/a.dll", 0, "?s"), "p/Bin/a.dll?s");
    EXPECT_EQ(DownloadTypeOf(3), 3u);
    EXPECT_EQ(DownloadTypeOf(4), 1u);
    EXPECT_EQ(DownloadTypeOf(5), 4u);
    EXPECT_EQ(DownloadTypeOf(9), 0u);

    DMLRecord record;
    record.GetField("SrcFileName").SetValue(std::string_view("abc"));
    record.GetField("TarFileName").SetValue(std::string_view(""));
    record.GetField("FileType").SetValue(uint32_t{0});
    record.GetField("Size").SetValue(uint32_t{1});
    record.GetField("CRC").SetValue(uint32_t{2});
    PackageFile file;
    std::string problem;
    ASSERT_TRUE(ReadPackageFile(record, file, problem)) << problem;
    EXPECT_EQ(file.nameHash, 0xCA6598D0u);
    EXPECT_EQ(file.Target(), "abc") << "an empty target is the source name";
    record.GetField("TarFileName").SetValue(std::string_view("Bin\\a.dll"));
    ASSERT_TRUE(ReadPackageFile(record, file, problem)) << problem;
    EXPECT_EQ(file.Target(), "Bin/a.dll");
    record.RemoveField("CRC");
    EXPECT_FALSE(ReadPackageFile(record, file, problem));
    EXPECT_EQ(problem, "the field CRC is missing");
}

}  // namespace
}  // namespace patchtest
