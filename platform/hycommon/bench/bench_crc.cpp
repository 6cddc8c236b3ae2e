// CrcUpdate against the table-driven byte loop and a plain copy of the same buffer.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "Crc.h"

namespace {

std::vector<unsigned char> Buffer(size_t size) {
    std::mt19937 random(3);
    std::vector<unsigned char> data(size);
    for (auto& b : data) b = static_cast<unsigned char>(random());
    return data;
}

void BM_CrcUpdate(benchmark::State& state) {
    auto data = Buffer(static_cast<size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(CrcUpdate(0, data.data(), data.size()));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CrcUpdate)->Arg(1048576);

void BM_CrcBytewise(benchmark::State& state) {
    auto data = Buffer(static_cast<size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(HYCrc::UpdateBytewise(0, data.data(), data.size()));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CrcBytewise)->Arg(1048576);

void BM_Memcpy(benchmark::State& state) {
    auto data = Buffer(static_cast<size_t>(state.range(0)));
    std::vector<unsigned char> copy(data.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), data.data(), data.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Memcpy)->Arg(1048576);

}  // namespace
