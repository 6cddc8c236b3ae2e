// The cost of logging: a message below the global level against the bare level check, and
// records written through the launcher's file reactor against fprintf + fflush of the same lines.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "HYLogFileReactor.h"
#include "LogMessage.h"
#include "LogRegistry.h"
#include "OsFile.h"

namespace {

constexpr int kBatch = 1000;

std::string TempPath(const char* name) {
    return std::string("/tmp/bench_kernel_") + std::to_string(getpid()) + "_" + name;
}

// The global level set high so that the measured messages are skipped.
struct HighLevel {
    HighLevel() { HYLog::SetGlobalLevel(LL_Error); }
    ~HighLevel() { HYLog::SetGlobalLevel(LL_None); }
};

void BM_LevelCheck(benchmark::State& state) {
    HighLevel high;
    int value = 0;
    for (auto _ : state) {
        if (HYLog::g_globalLevel.load(std::memory_order_relaxed) <= LL_Status) ++value;
        benchmark::DoNotOptimize(value);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_LevelCheck);

void BM_LogSkipped(benchmark::State& state) {
    HighLevel high;
    int value = 0;
    for (auto _ : state) {
        HY_LOG(LL_Status, "BENCH", "Bench::Skipped", "value %d", ++value);
        benchmark::DoNotOptimize(value);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_LogSkipped);

void BM_LogAsyncFile(benchmark::State& state) {
    std::string path = TempPath("async.txt");
    auto reactor = std::make_shared<HYLogFileReactor>(
        "DISK_FILE", LL_All, 5000, std::make_unique<HYLogFileIoA>(path, true, -1));
    LogRegistry::Instance().RegisterReactor(reactor);
    LogRegistry::Instance().SetReactorOption("DISK_FILE", 2);
    int n = 0;
    std::chrono::steady_clock::duration lastWait{};
    for (auto _ : state) {
        for (int i = 1; i < kBatch; ++i) {
            HY_LOG(LL_Status, "BENCH", "Bench::AsyncFile", "record number %d of the benchmark", ++n);
        }
        // A batch counts once it is written: its last record is error-level, and such a call
        // returns when the reactor's thread has written everything queued before it. The time
        // that call takes is reported on its own: the writer's lag behind the logging thread.
        auto lastStart = std::chrono::steady_clock::now();
        HY_LOG(LL_Error, "BENCH", "Bench::AsyncFile", "record number %d of the benchmark", ++n);
        lastWait += std::chrono::steady_clock::now() - lastStart;
    }
    LogRegistry::Instance().ShutdownAll();
    if (reactor->Statistics().failed != 0) state.SkipWithError("records were dropped");
    state.SetItemsProcessed(state.iterations() * kBatch);
    state.counters["last_wait_us"] =
        std::chrono::duration<double, std::micro>(lastWait).count() / static_cast<double>(state.iterations());
    HY_OS::DeleteFile(path);
}
BENCHMARK(BM_LogAsyncFile)->UseRealTime();

// A reactor that writes nothing, on the logging thread: what the logging call itself costs when
// no other thread shares the records.
class DiscardingReactor : public LogReactor {
public:
    DiscardingReactor() : LogReactor("DISCARD", LL_All) {}
    int Write(const LogRecord&) override { return 0; }
};

void BM_LogCallOnly(benchmark::State& state) {
    LogRegistry::Instance().RegisterReactor(std::make_shared<DiscardingReactor>());
    int n = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i)
            HY_LOG(LL_Status, "BENCH", "Bench::CallOnly", "record number %d of the benchmark", ++n);
    }
    LogRegistry::Instance().ShutdownAll();
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_LogCallOnly)->UseRealTime();

void BM_FprintfFlushFile(benchmark::State& state) {
    std::string path = TempPath("fprintf.txt");
    FILE* file = std::fopen(path.c_str(), "w");
    int n = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            std::fprintf(file, "%s [%s] %-15s %-20s %04u [%llu] record number %d of the benchmark\n",
                         "12/09/26 08:00:00", "STAT", "BENCH", "bench_log.cpp", 60u, 0ull, ++n);
            std::fflush(file);
        }
    }
    std::fclose(file);
    state.SetItemsProcessed(state.iterations() * kBatch);
    HY_OS::DeleteFile(path);
}
BENCHMARK(BM_FprintfFlushFile)->UseRealTime();

}  // namespace
