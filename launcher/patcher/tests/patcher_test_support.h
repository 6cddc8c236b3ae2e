// Helpers of the patcher tests: a patch repository served by the loopback HTTP test server, a
// scripted patch server that answers MSG_LATEST_FILE_LIST_V2 with that repository's list, and a
// batch patcher that records what it reports.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BatchPatcher.h"
#include "DMLDatabase.h"
#include "LogCapture.h"
#include "ManualClock.h"
#include "TempDir.h"
#include "WorkerPump.h"
#include "login_test_support.h"
#include "http_test_support.h"
#include "test_http_server.h"

namespace patchtest {

using hytest::ManualClock;
using hytest::PumpFor;
using hytest::PumpUntil;
using hytest::ScopedLogCapture;
using hytest::TempDir;
using logintest::ScriptedServer;
using logintest::ScriptedSession;

// Runs `body` on a worker thread of its own with the patch modules loaded.
void RunOnWorker(const std::function<void()>& body);
void LoadModules();

// One file of a package as the list names it.
struct RepoFile {
    std::string src;
    std::string content;
    uint32_t fileType = 0;
    std::string tar;  // empty: the source name
};

// A patch repository: files served under "/files/", a latest file list served under "/lists/".
class PatchRepo {
public:
    PatchRepo();
    // Sets a package's files (replacing earlier ones) and publishes the list again.
    void SetPackage(const std::string& name, const std::vector<RepoFile>& files);
    // Adds one file to a package without publishing; its content moves to the server.
    void AddFile(const std::string& package, RepoFile file);
    // Adds a record of raw fields to a package (for lists the publisher would never write).
    DMLRecord& AddRawRecord(const std::string& package);
    // Writes the list in the given form (1 XML, 2 binary) and serves it.
    void Publish(uint32_t listType = 1);
    // Serves `bytes` as the list instead (CRC and size in the reply follow them).
    void PublishRawList(const std::string& bytes, uint32_t listType = 1);

    // Fills a MSG_LATEST_FILE_LIST_V2 reply for the current list.
    void FillReply(DMLRecord& reply) const;

    TestHttpServer http;
    uint32_t version = 7;
    std::string listName;
    std::string listBytes;
    uint32_t listType = 1;
    std::string urlSuffix;
    // Overrides of reply fields, applied after the real ones.
    std::function<void(DMLRecord&)> editReply;

private:
    std::unique_ptr<DMLDatabase> m_list;
};

// A scripted patch server answering every list request from `repo`.
std::unique_ptr<ScriptedServer> ServeRepo(PatchRepo& repo);

// A batch patcher that records what it reports as lines ("changed:Data/a.bin", "failed:Base:9", ...).
class RecordingBatch : public BatchPatcher {
public:
    RecordingBatch();
    // Initialises for `install` (with a trailing slash) at 127.0.0.1:`port`; "English".
    bool Setup(const std::string& install, uint16_t port, const std::string& cache = {});
    // Setup, the package (priority 1, required) and RunBatch in one step.
    bool PatchPackage(const std::string& install, uint16_t port, const std::string& package = "Base");
    // Starts the batch and waits for its end; false on time-out.
    bool RunBatch(uint32_t limitMs = 20000);
    size_t Count(const std::string& prefix) const;
    bool Has(const std::string& line) const;

    std::vector<std::string> events;
    bool finished = false;
    int batchFailure = -1;  // -1 while unknown, 0 on success
    struct PackageOutcome {
        std::string name;
        int failure;  // 0 on success
        uint32_t altered;
        uint64_t downloaded;
        uint64_t saved;
    };
    std::vector<PackageOutcome> outcomes;
    // Replaces the HTTP client's start when set (the number of starts that succeed first).
    int httpStartsAllowed = -1;

protected:
    int StartHttpClient() override;
    void OnBatchPatchSuccessful(uint32_t filesAltered) override;
    void OnBatchPatchFailed(int failure) override;
    void OnBatchStopped() override;
    void OnPackageStarted(const std::string& package) override;
    void OnPackageCompleted(const std::string& package, uint32_t filesAltered, uint64_t bytesDownloaded,
                            uint64_t bytesSaved) override;
    void OnPackageFailed(const std::string& package, int failure, uint64_t bytesDownloaded,
                         uint64_t bytesSaved) override;
    void OnFileStarted(const std::string& path) override;
    void OnFileUnchanged(const std::string& path) override;
    void OnFileChanged(const std::string& path) override;
    void OnFileRetried(const std::string& path, uint32_t failures) override;
};

// The HTTP tests' helpers: RandomBytes, Gzip, Crc, ReadFile, WriteFile, Exists, UnresolvableHost.
using ::Crc;
using ::Exists;
using ::Gzip;
using ::RandomBytes;
using ::ReadFile;
using ::UnresolvableHost;
using ::WriteFile;
// A loopback port where nothing listens.
uint16_t ClosedPort();

}  // namespace patchtest
