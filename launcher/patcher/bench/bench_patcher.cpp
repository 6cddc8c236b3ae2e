// The patcher's speed against plain references run in the same process:
//   BM_ReverifyWarmCache  re-verifying a 50,000-file package whose CRC cache vouches for every file,
//   BM_StatWalk           a bare stat of the same 50,000 files;
//   BM_FirstCheckColdCache the same package checked with no CRC cache (every file read by the
//                         HTTP client); cache_mb_written against cache_mb_every_file, what saving
//                         the cache after every file would write;
//   BM_FirstInstall       a 512 MiB, 5,000-file build published by larkpublish, from larkserver's
//                         patch role and HTTP server on loopback, CRC checks included (bytes per
//                         second),
//   BM_CurlSequential     libcurl fetching the same files one after another over one connection
//                         into files;
//                         The counters cache_mb_written and cache_mb_every_file are the CRC cache
//                         bytes the run wrote and what saving after every file would write.
//   BM_UpdateOnePercent   a second build in which 1% of the files changed; the counter
//                         fetched_ratio is the bytes fetched over the changed files' bytes.
// The files live in temporary directories that are removed at the end.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include <netinet/in.h>

#include "CrcCache.h"
#include "HYThread.h"
#include "MessageManager.h"
#include "OsFile.h"
#include "PatchServer.h"
#include "Publisher.h"
#include "RepositoryHttpServer.h"
#include "patcher_test_support.h"

namespace {

using namespace patchtest;

constexpr int kVerifyFiles = 50000;
constexpr int kInstallFiles = 5000;
constexpr size_t kInstallBytes = size_t{512} << 20;

void LoadModulesOnce() {
    static bool loaded = false;
    if (loaded) return;
    for (const char* module : {"BaseMessages", "ExtendedBaseMessages", "PatchMessages"})
        MessageManager::GetSingleton().LoadMessageModule(HY_DATA_SOURCE_DIR, module);
    loaded = true;
}

// A batch patcher whose owner only counts the unchanged files, as a window would only show them.
class CountingBatch : public RecordingBatch {
public:
    size_t unchanged = 0;

protected:
    void OnFileUnchanged(const std::string&) override { ++unchanged; }
};

std::string VerifyName(int i) { return "Data/Dir" + std::to_string(i % 100) + "/file" + std::to_string(i) + ".dat"; }

// 50,000 small files on disk, the list naming them, and a CRC cache that vouches for all.
struct VerifySet {
    TempDir dir;
    std::string install = dir.Path("game") + "/";
    std::vector<std::string> paths;
    PatchRepo repo;
    std::unique_ptr<ScriptedServer> server;
    std::unique_ptr<CountingBatch> batch;

    VerifySet() {
        LoadModulesOnce();
        CrcCache cache;
        for (int i = 0; i < kVerifyFiles; ++i) {
            std::string name = VerifyName(i);
            std::string content = "file " + std::to_string(i) + std::string(static_cast<size_t>(i % 64), 'x');
            std::string path = install + name;
            WriteFile(path, content);
            paths.push_back(path);
            cache.AddEntry(Crc(name), static_cast<uint32_t>(content.size()), Crc(content),
                           static_cast<uint64_t>(HY_OS::LastWriteTimeMs(path)));
            repo.AddFile("Base", RepoFile{name, content});
        }
        repo.Publish();
        HY_OS::CreateDirectories(install + "PatchInfo");
        cache.SaveCacheFile("Base", install + "PatchInfo/");
        server = ServeRepo(repo);
        batch = std::make_unique<CountingBatch>();
        batch->Setup(install, server->Port());
        batch->AddPackage("Base", 1, true);
        batch->RunBatch(600000);  // loads the list; every later run reuses it
    }
};

VerifySet& Verify() {
    static VerifySet set;
    return set;
}

void BM_StatWalk(benchmark::State& state) {
    VerifySet& set = Verify();
    for (auto _ : state) {
        int64_t total = 0;
        for (const std::string& path : set.paths) {
            struct stat st {};
            if (::stat(path.c_str(), &st) == 0) total += st.st_size;
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * kVerifyFiles);
}

void BM_ReverifyWarmCache(benchmark::State& state) {
    VerifySet& set = Verify();
    CountingBatch& batch = *set.batch;
    for (auto _ : state) {
        batch.Reset();
        batch.unchanged = 0;
        batch.AddPackage("Base", 1, true);
        batch.RunBatch(600000);
        if (batch.batchFailure != 0 || batch.unchanged != static_cast<size_t>(kVerifyFiles))
            state.SkipWithError("the cache did not vouch for every file");
    }
    state.SetItemsProcessed(state.iterations() * kVerifyFiles);
}

void BM_FirstCheckColdCache(benchmark::State& state) {
    VerifySet& set = Verify();
    CountingBatch& batch = *set.batch;
    const std::string cacheFile = CrcCache::CacheFilePath("Base", set.install + "PatchInfo/");
    uint64_t written = 0;
    for (auto _ : state) {
        state.PauseTiming();
        HY_OS::DeleteFile(cacheFile);
        uint64_t before = batch.Cache().BytesWritten();
        state.ResumeTiming();
        batch.Reset();
        batch.unchanged = 0;
        batch.AddPackage("Base", 1, true);
        // Every file goes through the HTTP client's check: slow on a loaded machine, and a run
        // still going would spoil the next one.
        if (!batch.RunBatch(3600000) || batch.batchFailure != 0 ||
            batch.unchanged != static_cast<size_t>(kVerifyFiles)) {
            state.SkipWithError("the check did not finish with every file current");
            break;
        }
        written = batch.Cache().BytesWritten() - before;
    }
    const double entries = kVerifyFiles;
    state.counters["cache_mb_written"] = static_cast<double>(written) / 1e6;
    state.counters["cache_mb_every_file"] = CrcCache::kEntryBytes * entries * (entries + 1) / 2 / 1e6;
    state.SetItemsProcessed(state.iterations() * kVerifyFiles);
}

std::string InstallName(int i) { return "Data/Area" + std::to_string(i % 50) + "/chunk" + std::to_string(i) + ".bin"; }

// The file contents of a build: every file about 107 KB, 512 MiB in all. `variant` changes the
// files whose index is a multiple of 100 (1% of them).
std::string InstallContent(int i, int variant) {
    size_t size = kInstallBytes / kInstallFiles;
    std::string content = RandomBytes(64, static_cast<uint32_t>(i * 7 + (i % 100 == 0 ? variant : 0)));
    content.reserve(size);
    while (content.size() < size) content += content.substr(0, std::min(content.size(), size - content.size()));
    return content;
}

// A build published by larkpublish and served by larkserver's patch role with its HTTP server.
struct InstallSet {
    TempDir dir;
    std::string install = dir.Path("game") + "/";
    larkpublish::PublishOptions options;
    larkpublish::PublishResult published;
    std::unique_ptr<RepositoryHttpServer> http;
    std::unique_ptr<PatchServer> patch;
    uint64_t totalBytes = 0;

    InstallSet() {
        LoadModulesOnce();
        WriteFile(dir / "manifest.txt", "package Base required\nplain Data/\n");
        options.buildFolder = dir / "build";
        options.manifestPath = dir / "manifest.txt";
        options.repository = dir / "repo";
        Serve(0);
        http = std::make_unique<RepositoryHttpServer>(options.repository);
        http->Start("127.0.0.1", 0);
        patch = std::make_unique<PatchServer>(options.repository, "http://127.0.0.1:" + std::to_string(http->Port()));
        std::string error;
        patch->LoadRepository(error);
        patch->Listen(HYInetAddress(INADDR_LOOPBACK, 0));
    }
    // Publishes build `variant` (0 the first build).
    void Serve(int variant) {
        totalBytes = 0;
        for (int i = 0; i < kInstallFiles; ++i) {
            if (variant != 0 && i % 100 != 0) continue;
            std::string content = InstallContent(i, variant);
            totalBytes += content.size();
            WriteFile(options.buildFolder + "/" + InstallName(i), content);
        }
        std::string error;
        published = {};
        if (!larkpublish::Publish(options, published, error)) std::fprintf(stderr, "publish: %s\n", error.c_str());
    }
    uint64_t cacheBytesWritten = 0;

    // A fresh launcher run patching "Base" into the install folder.
    RecordingBatch::PackageOutcome Patch(benchmark::State& state) {
        RecordingBatch batch;
        batch.Setup(install, patch->Port());
        batch.AddPackage("Base", 1, true);
        if (!batch.RunBatch(600000) || batch.batchFailure != 0 || batch.outcomes.empty()) {
            state.SkipWithError("the patch failed");
            return {};
        }
        cacheBytesWritten = batch.Cache().BytesWritten();
        return batch.outcomes[0];
    }
};

void BM_FirstInstall(benchmark::State& state) {
    InstallSet set;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(set.install);
        state.ResumeTiming();
        RecordingBatch::PackageOutcome outcome = set.Patch(state);
        if (outcome.altered != kInstallFiles) state.SkipWithError("not every file was fetched");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set.totalBytes));
    const double entries = kInstallFiles;
    state.counters["cache_mb_written"] = static_cast<double>(set.cacheBytesWritten) / 1e6;
    state.counters["cache_mb_every_file"] = CrcCache::kEntryBytes * entries * (entries + 1) / 2 / 1e6;
}

size_t WriteToFile(char* data, size_t size, size_t count, void* file) {
    return std::fwrite(data, size, count, static_cast<FILE*>(file)) * size;
}

void BM_CurlSequential(benchmark::State& state) {
    InstallSet set;
    std::string target = set.dir.Path("curl") + "/";
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(target);
        state.ResumeTiming();
        CURL* curl = curl_easy_init();
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteToFile);
        curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
        for (const larkpublish::PublishedFile& file : set.published.files) {
            std::string path = target + file.tarFileName;
            HY_OS::CreateDirectories(HY_OS::DirectoryPart(path));
            FILE* out = std::fopen(path.c_str(), "wb");
            std::string url = "http://127.0.0.1:" + std::to_string(set.http->Port()) + "/" + file.srcFileName;
            curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
            curl_easy_setopt(curl, CURLOPT_WRITEDATA, out);
            CURLcode result = curl_easy_perform(curl);
            std::fclose(out);
            if (result != CURLE_OK) state.SkipWithError("curl failed");
        }
        curl_easy_cleanup(curl);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set.totalBytes));
}

void BM_UpdateOnePercent(benchmark::State& state) {
    InstallSet set;
    set.Patch(state);  // the first build is installed
    set.Serve(1);
    uint64_t changedBytes = set.totalBytes;
    uint64_t fetched = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // Back to the first build's files, so every iteration updates the same 1%.
        for (int i = 0; i < kInstallFiles; i += 100) WriteFile(set.install + InstallName(i), InstallContent(i, 0));
        state.ResumeTiming();
        RecordingBatch::PackageOutcome outcome = set.Patch(state);
        fetched += outcome.downloaded;
        if (outcome.altered != kInstallFiles / 100) state.SkipWithError("not exactly the changed files were fetched");
    }
    state.counters["fetched_ratio"] =
        static_cast<double>(fetched) / static_cast<double>(changedBytes * state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * changedBytes));
}

}  // namespace

BENCHMARK(BM_StatWalk)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ReverifyWarmCache)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_FirstCheckColdCache)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FirstInstall)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_CurlSequential)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_UpdateOnePercent)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(2)->Repetitions(3)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
