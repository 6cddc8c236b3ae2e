// What the terminal front-end costs: one redraw of the two bars against a plain write of the same
// bytes, and a typed line read one byte per read(2) (so nothing past it is taken) against one
// read(2) of the whole line.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "LineReader.h"
#include "ProgressView.h"
#include "TermOutput.h"

namespace {

using namespace LarkTerm;

void BM_BarsRedraw(benchmark::State& state) {
    std::FILE* sink = std::fopen("/dev/null", "w");
    TermOutput output(sink, true, 120);
    ProgressView view(output);
    view.Reset("Total Progress");
    unsigned i = 0;
    for (auto _ : state) {
        // A new name each time, so every call draws.
        view.SetFile(i % 2 ? "Patching : Data/Root.wad" : "Patching : Data/Music.wad", i % 100);
        ++i;
    }
    std::fclose(sink);
}
BENCHMARK(BM_BarsRedraw);

void BM_ReferenceWriteOfTheSameBytes(benchmark::State& state) {
    std::FILE* sink = std::fopen("/dev/null", "w");
    std::string bytes =
        "\r\033[1A\r\033[2KFile  [############------------]  50%  Patching : Data/Root.wad\n"
        "\r\033[2KTotal [#########---------------]  40%  Total Progress";
    for (auto _ : state) {
        std::fputs(bytes.c_str(), sink);
        std::fflush(sink);
    }
    std::fclose(sink);
}
BENCHMARK(BM_ReferenceWriteOfTheSameBytes);

const std::string kLine = std::string(40, 'a') + "\n";

void BM_LineReadByteByByte(benchmark::State& state) {
    int fds[2];
    if (pipe(fds) != 0) return;
    LineReader reader(fds[0]);
    std::string line;
    for (auto _ : state) {
        if (write(fds[1], kLine.data(), kLine.size()) < 0) break;
        benchmark::DoNotOptimize(reader.ReadSome(line));
    }
    close(fds[0]);
    close(fds[1]);
}
BENCHMARK(BM_LineReadByteByByte);

void BM_ReferenceOneReadPerLine(benchmark::State& state) {
    int fds[2];
    if (pipe(fds) != 0) return;
    char buffer[64];
    for (auto _ : state) {
        if (write(fds[1], kLine.data(), kLine.size()) < 0) break;
        benchmark::DoNotOptimize(read(fds[0], buffer, sizeof buffer));
    }
    close(fds[0]);
    close(fds[1]);
}
BENCHMARK(BM_ReferenceOneReadPerLine);

}  // namespace

BENCHMARK_MAIN();
