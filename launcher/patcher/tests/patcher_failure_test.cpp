// Every way a run fails, each reached through a real cause: no server, a silent server, a dropped
// connection, an unsupported locale, list downloads failing, an unreadable list, an unknown
// package, file downloads that keep failing, a full disk, a file that cannot be written, and an
// HTTP client that refuses to start.
#include "Patcher.h"

#include <gtest/gtest.h>

#include "OsSysCalls.h"
#include "patcher_test_support.h"

namespace patchtest {
namespace {

// A run of the package "Base" against `port`, waiting for the batch's end.
struct PackageRun {
    TempDir dir;
    std::string install = dir.Path("game") + "/";
    RecordingBatch batch;

    bool Go(uint16_t port, const std::string& package = "Base") {
        if (!batch.Setup(install, port)) return false;
        batch.AddPackage(package, 1, true);
        return batch.RunBatch(30000);
    }
    const RecordingBatch::PackageOutcome& Outcome() const { return batch.outcomes.at(0); }
};

std::vector<RepoFile> TwoFiles() { return {{"Data/a.bin", RandomBytes(4000, 1)}, {"Data/b.bin", RandomBytes(5000, 2)}}; }

TEST(PatcherFailure, ServerConversationFailuresReportTheirCodesWithZeroCountersAndStopOnce) {
    RunOnWorker([] {
        ScopedLogCapture log;
        {
            PackageRun run;
            ASSERT_TRUE(run.Go(ClosedPort()));
            EXPECT_EQ(run.batch.batchFailure, PF_ConnectFailed);
            EXPECT_EQ(log->Count("Patch failed - Error connecting Patch Server"), 1);
        }
        {
            // The server drops the connection when the request arrives.
            ScriptedServer server([](ScriptedSession& session, DMLRecord&) { session.Close(true); });
            PackageRun run;
            ASSERT_TRUE(run.Go(server.Port()));
            EXPECT_EQ(run.batch.batchFailure, PF_ConnectionLost);
            EXPECT_EQ(log->Count("Patch failed - Error maintain server conn"), 1);
            EXPECT_EQ(run.batch.GetPatcherState(), PS_Stopped);
        }
        {
            PatchRepo repo;
            repo.SetPackage("Base", TwoFiles());
            repo.editReply = [](DMLRecord& reply) { reply.GetField("Locale").SetValue(std::string_view("ERROR1")); };
            auto server = ServeRepo(repo);
            PackageRun run;
            ASSERT_TRUE(run.Go(server->Port()));
            EXPECT_EQ(run.batch.batchFailure, PF_LocaleUnsupported);
            EXPECT_EQ(run.Outcome().downloaded, 0u);
            EXPECT_EQ(run.Outcome().saved, 0u);
            EXPECT_EQ(log->Count("Received MSG_LATEST_FILE_LIST_V2 - Locale (English) not supported by the server"), 1);
            EXPECT_EQ(repo.http.RequestCount(), 0u);
        }
        EXPECT_EQ(log->Count("Patch Server connection closed"), 2);
    });
}

TEST(PatcherFailure, SilentServerTimesOutAfterTheReplyTime) {
    ManualClock clock;
    RunOnWorker([&] {
        ScopedLogCapture log;
        ScriptedServer server(nullptr);  // takes the request, never answers
        PackageRun run;
        ASSERT_TRUE(run.batch.Setup(run.install, server.Port()));
        run.batch.AddPackage("Base", 1, true);
        ASSERT_TRUE(run.batch.Start());
        ASSERT_TRUE(PumpUntil([&] { return server.received.size() == 1; }));
        clock.Advance(BatchPatcher::kServerReplyTimeoutMs - 100);
        PumpFor(30);
        EXPECT_FALSE(run.batch.finished);
        clock.Advance(200);
        ASSERT_TRUE(PumpUntil([&] { return run.batch.finished; }));
        EXPECT_EQ(run.batch.batchFailure, PF_ServerTimeout);
        EXPECT_EQ(log->Count("Patch failed - Error accessing Patch Server"), 1);
        EXPECT_EQ(log->Count("Shutting down Patch Server connection"), 1);
    });
}

TEST(PatcherFailure, ListDownloadIsRequestedOnceMoreThenFailsWithTheCodeOfItsLastFailure) {
    struct Case {
        const char* name;
        int expected;
        std::function<void(PatchRepo&)> breakIt;
    };
    const Case cases[] = {
        {"unknown host", PF_ListHostNotFound,
         [](PatchRepo& repo) {
             repo.editReply = [](DMLRecord& r) {
                 r.GetField("ListFileURL").SetValue(std::string_view("http://" + UnresolvableHost() + "/l.xml"));
             };
         }},
        {"not found", PF_ListRequestFailed,
         [](PatchRepo& repo) {
             repo.editReply = [&repo](DMLRecord& r) {
                 r.GetField("ListFileURL").SetValue(std::string_view(repo.http.Url("/lists/gone.xml")));
             };
         }},
        {"cut short", PF_ListTransferFailed,
         [](PatchRepo& repo) {
             TestHttpServer::Fault fault;
             fault.truncateAfter = 20;
             repo.http.SetFault("/lists/" + repo.listName, fault);
         }},
        {"wrong CRC", PF_ListVerifyFailed,
         [](PatchRepo& repo) {
             repo.editReply = [](DMLRecord& r) {
                 r.GetField("ListFileCRC").SetValue(r.FindField("ListFileCRC")->GetUInt() ^ 1u);
             };
         }},
    };
    RunOnWorker([&] {
        for (const Case& c : cases) {
            ScopedLogCapture log;
            PatchRepo repo;
            repo.SetPackage("Base", TwoFiles());
            c.breakIt(repo);
            auto server = ServeRepo(repo);
            PackageRun run;
            ASSERT_TRUE(run.Go(server->Port())) << c.name;
            EXPECT_EQ(run.batch.batchFailure, c.expected) << c.name;
            ASSERT_EQ(server->received.size(), 2u) << c.name;
            EXPECT_EQ(server->connections, 2) << c.name;
            EXPECT_EQ(server->received[0].request.FindField("ListFileSize")->GetUInt(), 1u);
            EXPECT_EQ(server->received[1].request.FindField("ListFileSize")->GetUInt(), 2u);
            EXPECT_EQ(log->Count("Patch failed - Error downloading the Latest Build List file"), 2) << c.name;
            EXPECT_EQ(repo.http.RequestCount("/files/Data/a.bin"), 0u) << c.name;
            EXPECT_FALSE(Exists(run.install + "PatchInfo/LatestFileList.xml")) << c.name;
        }
    });
}

TEST(PatcherFailure, UnreadableListAndUnknownPackageFailBeforeAnyFileIsRequested) {
    RunOnWorker([] {
        ScopedLogCapture log;
        {
            PatchRepo repo;
            repo.SetPackage("Base", TwoFiles());
            // The list ends in the middle of a table: the CRC is right, the content is not whole.
            std::string whole = repo.listBytes;
            repo.PublishRawList(whole.substr(0, whole.size() - 60));
            auto server = ServeRepo(repo);
            PackageRun run;
            ASSERT_TRUE(run.Go(server->Port()));
            EXPECT_EQ(run.batch.batchFailure, PF_ListUnreadable);
            EXPECT_EQ(log->Count("Patch failed - Error processing latest build list"), 1);
            EXPECT_EQ(repo.http.RequestCount("/files/Data/a.bin"), 0u);
            EXPECT_FALSE(run.batch.FileList().IsLoaded());
        }
        {
            PatchRepo repo;
            repo.SetPackage("Base", TwoFiles());
            auto server = ServeRepo(repo);
            PackageRun run;
            ASSERT_TRUE(run.Go(server->Port(), "Extras"));
            EXPECT_EQ(run.batch.batchFailure, PF_UnknownPackage);
            EXPECT_EQ(run.batch.FindPackage("Extras")->state, PKG_NotInList);
            EXPECT_EQ(log->Count("Patch failed - Unknown package name"), 1);
            EXPECT_EQ(repo.http.RequestCount("/lists/LatestFileList.xml"), 1u);
            EXPECT_EQ(repo.http.RequestCount("/files/Data/a.bin"), 0u);
        }
    });
}

TEST(PatcherFailure, SeventhFailureRestartsTheFileFromScratchThirteenthEndsTheRun) {
    RunOnWorker([] {
        ScopedLogCapture log;
        PatchRepo repo;
        repo.SetPackage("Base", {{"Data/a.bin", RandomBytes(4000, 1)}});
        TestHttpServer::Fault fault;
        fault.status = 503;
        repo.http.SetFault("/files/Data/a.bin", fault);
        auto server = ServeRepo(repo);
        PackageRun run;
        ASSERT_TRUE(run.Go(server->Port()));
        EXPECT_EQ(run.batch.batchFailure, PF_FileDownloadFailed);
        EXPECT_EQ(run.batch.Count("retried:Data/a.bin:"), 13u);
        // The request's failure counters grow to 7; from then on every retry starts from
        // scratch with the counters cleared.
        std::vector<std::string> retries;
        for (const auto& e : run.batch.events)
            if (e.rfind("retried:", 0) == 0) retries.push_back(e.substr(e.rfind(':') + 1));
        EXPECT_EQ(retries, (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "1", "1", "1", "1", "1", "1"}));
        EXPECT_EQ(log->Count("Retry without resuming (deleting tmp file)"), 6);
        EXPECT_EQ(log->Count("Patch failed - Error downloading file"), 1);
        EXPECT_EQ(repo.http.RequestCount("/files/Data/a.bin"), 13u);
        EXPECT_FALSE(Exists(run.install + "Data/a.bin"));
    });
}

class DiskFullFor : public HY_OS::OsSysCalls {
public:
    explicit DiskFullFor(std::string part) : m_part(std::move(part)) {}
    int64_t FreeDiskSpace(const std::string& path) override {
        return path.find(m_part) != std::string::npos ? 4096 : int64_t{1} << 40;
    }

private:
    std::string m_part;
};

TEST(PatcherFailure, FullDiskLetsTheOtherFilesFinishThenFailsAndAnUnwritableFileFailsAsLocked) {
    RunOnWorker([] {
        ScopedLogCapture log;
        {
            PatchRepo repo;
            repo.SetPackage("Base", {{"Big/a.bin", RandomBytes(4000, 1)}, {"Small/b.bin", RandomBytes(500, 2)}});
            auto server = ServeRepo(repo);
            DiskFullFor disk("/Big");
            HY_OS::ScopedSysCalls install(disk);
            PackageRun run;
            ASSERT_TRUE(run.Go(server->Port()));
            EXPECT_EQ(run.batch.batchFailure, PF_DiskFull);
            EXPECT_TRUE(run.batch.Has("changed:Small/b.bin"));
            EXPECT_FALSE(Exists(run.install + "Big/a.bin"));
            EXPECT_EQ(log->Count("Patch failed - Disk is full"), 1);
            EXPECT_EQ(run.batch.Count("retried:"), 0u);
        }
        {
            PatchRepo repo;
            repo.SetPackage("Base", {{"Data/a.bin", RandomBytes(4000, 1)}});
            auto server = ServeRepo(repo);
            PackageRun run;
            // A directory with content where the file must go: it cannot be replaced.
            WriteFile(run.install + "Data/a.bin/keep", "x");
            ASSERT_TRUE(run.Go(server->Port()));
            EXPECT_EQ(run.batch.batchFailure, PF_FileLocked);
            EXPECT_EQ(log->Count("Patch failed - File is locked"), 1);
            EXPECT_EQ(ReadFile(run.install + "Data/a.bin/keep"), "x");
        }
    });
}

TEST(PatcherFailure, HttpClientThatRefusesToStartFailsTheListOrThePackageDownload) {
    RunOnWorker([] {
        ScopedLogCapture log;
        PatchRepo repo;
        repo.SetPackage("Base", TwoFiles());
        auto server = ServeRepo(repo);
        {
            PackageRun run;
            run.batch.httpStartsAllowed = 0;
            ASSERT_TRUE(run.Go(server->Port()));
            EXPECT_EQ(run.batch.batchFailure, PF_DownloadStartFailed);
            EXPECT_EQ(log->Count("Patch failed - Error downloading RTPatch file"), 1);
            EXPECT_EQ(repo.http.RequestCount(), 0u);
        }
        {
            PackageRun run;
            run.batch.httpStartsAllowed = 1;  // the list, not the files
            ASSERT_TRUE(run.Go(server->Port()));
            EXPECT_EQ(run.batch.batchFailure, PF_DownloadStartFailed);
            EXPECT_EQ(log->Count("Patch failed - Unable to start file download"), 1);
            EXPECT_EQ(repo.http.RequestCount("/files/Data/a.bin"), 0u);
            // The positive twin: the same run with a willing client fetches the files.
            PackageRun willing;
            ASSERT_TRUE(willing.Go(server->Port()));
            EXPECT_EQ(willing.batch.batchFailure, 0);
            EXPECT_EQ(repo.http.RequestCount("/files/Data/a.bin"), 1u);
        }
    });
}

}  // namespace
}  // namespace patchtest
