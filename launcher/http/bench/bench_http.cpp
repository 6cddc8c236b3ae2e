// Download speed of the HTTP file client against plain libcurl, and the bytes a WAD archive
// update fetches against the bytes that changed. Servers run on loopback in this process.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <map>
#include <memory>

#include "HYHttpFileClient.h"
#include "OsFile.h"
#include "http_test_support.h"
#include "test_http_server.h"
#include "wad_test_support.h"

namespace {

// A client that only records the end of each file.
class BenchClient : public HYHttpFileClient {
public:
    BenchClient() : HYHttpFileClient(1) { Init("Halcyra Patcher", 0, 300000, 300000); }
    void OnFileDownloaded(const std::string&, const std::string&, uint32_t, uint32_t bytesDone, uint32_t,
                          uint32_t bytesTransferred, uint64_t, uint32_t) override {
        m_bytesDone = bytesDone;
        m_bytesTransferred = bytesTransferred;
        m_ok = true;
    }
    int OnFileDownloadFailed(DownloadFailure failure, const std::string&, const std::string&, uint32_t) override {
        m_failure = failure;
        return RA_Drop;
    }
    void OnAllFilesProcessed() override { ++m_processed; }

    bool Run(const std::string& url, const std::string& local, uint32_t type, uint32_t size, uint32_t crc,
             uint32_t headerSize, uint32_t compressedHeaderSize, uint32_t headerCrc, bool force) {
        m_ok = false;
        int before = m_processed;
        AddFile(url, local, type, 0, size, crc, headerSize, compressedHeaderSize, headerCrc, force, false);
        if (State() != HCS_Running) Start();
        PumpUntil([&] { return m_processed > before; }, 600000);
        return m_ok;
    }

    bool m_ok = false;
    int m_processed = 0;
    int m_failure = 0;
    uint32_t m_bytesDone = 0;
    uint32_t m_bytesTransferred = 0;
};

struct WholeFileFixture {
    TestHttpServer server;
    TempDir dir;
    std::string content;
    uint32_t crc = 0;
    explicit WholeFileFixture(size_t size) : content(RandomBytes(size, 42)) {
        crc = Crc(content);
        server.SetFile("/big.bin", content);
    }
};

WholeFileFixture& Whole(size_t size) {
    static std::map<size_t, std::unique_ptr<WholeFileFixture>> fixtures;
    auto& fixture = fixtures[size];
    if (!fixture) fixture = std::make_unique<WholeFileFixture>(size);
    return *fixture;
}

void BM_WholeFileDownload(benchmark::State& state) {
    size_t size = static_cast<size_t>(state.range(0));
    WholeFileFixture& fixture = Whole(size);
    BenchClient client;
    std::string local = fixture.dir / "client.bin";
    for (auto _ : state) {
        if (!client.Run(fixture.server.Url("/big.bin"), local, DT_WholeFile, static_cast<uint32_t>(size),
                        fixture.crc, 0, 0, 0, true)) {
            state.SkipWithError("download failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

size_t WriteToFile(char* data, size_t size, size_t count, void* user) {
    return std::fwrite(data, size, count, static_cast<FILE*>(user));
}

void BM_CurlEasyDownload(benchmark::State& state) {
    size_t size = static_cast<size_t>(state.range(0));
    WholeFileFixture& fixture = Whole(size);
    std::string local = fixture.dir / "curl.bin";
    std::string url = fixture.server.Url("/big.bin");
    for (auto _ : state) {
        FILE* out = std::fopen(local.c_str(), "wb");
        CURL* curl = curl_easy_init();
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteToFile);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, out);
        CURLcode code = curl_easy_perform(curl);
        curl_easy_cleanup(curl);
        std::fclose(out);
        if (code != CURLE_OK) {
            state.SkipWithError("download failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

// A 256 MiB archive of 4,096 elements of which 1% (41, spread evenly) change.
void BM_WadUpdate(benchmark::State& state) {
    constexpr int kElements = 4096;
    constexpr size_t kElementSize = (size_t{256} << 20) / kElements - 32;
    TempDir work;
    TempDir dir;
    std::map<std::string, std::string> elements;
    for (int i = 0; i < kElements; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "data/element%05d.bin", i);
        elements[name] = RandomBytes(kElementSize, static_cast<uint32_t>(i));
    }
    PublishedWad installed = PublishWad(elements, work.Path());
    uint64_t changedBytes = 0;
    std::vector<std::string> changed;
    for (int i = 50; i < kElements; i += 100) {
        char name[32];
        std::snprintf(name, sizeof name, "data/element%05d.bin", i);
        elements[name] = RandomBytes(kElementSize + 17, static_cast<uint32_t>(100000 + i));
        changed.push_back(name);
    }
    PublishedWad published = PublishWad(elements, work.Path());
    elements.clear();
    for (const std::string& name : changed) changedBytes += PlaceOf(published, name, work.Path()).packedSize;

    TestHttpServer server;
    server.SetFile("/game/Big.wad", published.archive);
    server.SetFile("/game/Big.wad.hdr.gz", published.headerGz);
    std::string installedPath = work / "installed.wad";
    WriteFile(installedPath, installed.archive);
    installed.archive.clear();
    std::string local = dir / "Big.wad";
    BenchClient client;
    uint64_t fetched = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::string copy = ReadFile(installedPath);
        WriteFile(local, copy);
        state.ResumeTiming();
        if (!client.Run(server.Url("/game/Big.wad"), local, DT_WadArchive, published.info.archiveSize,
                        published.info.archiveCrc, published.info.headerSize,
                        published.info.compressedHeaderSize, published.info.headerCrc, false)) {
            state.SkipWithError("update failed");
            break;
        }
        fetched = client.m_bytesTransferred;
    }
    state.counters["changed_elements"] = static_cast<double>(changed.size());
    state.counters["changed_bytes"] = static_cast<double>(changedBytes);
    state.counters["header_gz_bytes"] = published.info.compressedHeaderSize;
    state.counters["fetched_bytes"] = static_cast<double>(fetched);
    state.counters["fetched_per_changed"] = static_cast<double>(fetched) / static_cast<double>(changedBytes);
    state.counters["fetched_per_changed_plus_header"] =
        static_cast<double>(fetched) / static_cast<double>(changedBytes + published.info.compressedHeaderSize);
}

}  // namespace

BENCHMARK(BM_CurlEasyDownload)->Arg(268435456)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WholeFileDownload)->Arg(268435456)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WadUpdate)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
