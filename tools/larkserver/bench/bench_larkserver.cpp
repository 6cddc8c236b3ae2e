// Serving speed of the repository's HTTP server (files read from disk as they are sent) against
// the in-memory loopback server of the HTTP tests, both fetched whole and by 64 KiB ranges with
// plain libcurl over one kept-alive connection, in this process.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <string>

#include "OsFile.h"
#include "RepositoryHttpServer.h"
#include "http_test_support.h"
#include "test_http_server.h"

namespace {

constexpr size_t kFileSize = 16 << 20;
constexpr size_t kRange = 64 << 10;

size_t Discard(char*, size_t size, size_t count, void* received) {
    *static_cast<size_t*>(received) += size * count;
    return size * count;
}

struct Servers {
    Servers() : content(RandomBytes(kFileSize, 7)), repository(dir.Path()) {
        KeepLoopbackOffProxies();
        WriteFile(dir / "big.bin", content);
        memory.SetFile("/big.bin", content);
        repository.Start("127.0.0.1", 0);
    }
    TempDir dir;
    std::string content;
    TestHttpServer memory;
    RepositoryHttpServer repository;
};

Servers& Shared() {
    static Servers servers;
    return servers;
}

// Fetches the file whole (`ranged` false) or in 64 KiB ranges on one connection.
void Fetch(benchmark::State& state, uint16_t port, bool ranged) {
    CURL* curl = curl_easy_init();
    size_t received = 0;
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/big.bin";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Discard);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &received);
    for (auto _ : state) {
        received = 0;
        if (!ranged) {
            curl_easy_setopt(curl, CURLOPT_RANGE, nullptr);
            if (curl_easy_perform(curl) != CURLE_OK) state.SkipWithError("fetch failed");
        } else {
            for (size_t at = 0; at < kFileSize; at += kRange) {
                std::string range = std::to_string(at) + "-" + std::to_string(at + kRange - 1);
                curl_easy_setopt(curl, CURLOPT_RANGE, range.c_str());
                if (curl_easy_perform(curl) != CURLE_OK) state.SkipWithError("fetch failed");
            }
        }
        if (received != kFileSize) state.SkipWithError("short answer");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
    curl_easy_cleanup(curl);
}

void BM_InMemoryServer_Whole(benchmark::State& state) {
    Fetch(state, Shared().memory.Port(), false);
}
void BM_RepositoryServer_Whole(benchmark::State& state) {
    Fetch(state, Shared().repository.Port(), false);
}
void BM_InMemoryServer_Ranges(benchmark::State& state) {
    Fetch(state, Shared().memory.Port(), true);
}
void BM_RepositoryServer_Ranges(benchmark::State& state) {
    Fetch(state, Shared().repository.Port(), true);
}

BENCHMARK(BM_InMemoryServer_Whole)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RepositoryServer_Whole)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_InMemoryServer_Ranges)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RepositoryServer_Ranges)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
