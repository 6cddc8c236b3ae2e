// Starting and stopping one timer while 100,000 others run, against the same keys in a multimap.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <random>
#include <vector>

#include "HYTimerSet.h"
#include "TimerWheelBaseNode.h"

namespace {

class IdleTimer : public TimerWheelBaseNode {
public:
    void OnTimer() override {}
};

std::vector<uint32_t> Delays(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<uint32_t> uniform(0, 10000);
    std::vector<uint32_t> delays(count);
    for (auto& d : delays) d = uniform(random);
    return delays;
}

void BM_TimerStartStop(benchmark::State& state) {
    const size_t running = static_cast<size_t>(state.range(0));
    HYTimerSet wheel;
    std::vector<IdleTimer> others(running);
    std::vector<uint32_t> delays = Delays(running, 1);
    for (size_t i = 0; i < running; ++i) wheel.StartTimer(&others[i], delays[i]);
    std::vector<uint32_t> probes = Delays(4096, 2);
    IdleTimer timer;
    size_t k = 0;
    for (auto _ : state) {
        wheel.StartTimer(&timer, probes[k++ & 4095]);
        wheel.StopTimer(&timer);
    }
    wheel.Clear();
}
BENCHMARK(BM_TimerStartStop)->Arg(100000);

void BM_MultimapInsertErase(benchmark::State& state) {
    const size_t running = static_cast<size_t>(state.range(0));
    std::multimap<uint64_t, void*> timers;
    std::vector<uint32_t> delays = Delays(running, 1);
    uint64_t now = 1000000;
    for (size_t i = 0; i < running; ++i) timers.emplace(now + delays[i], nullptr);
    std::vector<uint32_t> probes = Delays(4096, 2);
    size_t k = 0;
    int marker = 0;
    for (auto _ : state) {
        auto it = timers.emplace(now + probes[k++ & 4095], &marker);
        timers.erase(it);
    }
}
BENCHMARK(BM_MultimapInsertErase)->Arg(100000);

}  // namespace
