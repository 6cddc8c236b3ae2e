// Process-wide socket counters, bumped from any thread.
#pragma once

#include <atomic>
#include <cstdint>

struct SocketCounters {
    std::atomic<uint64_t> bytesRead{0};
    std::atomic<uint64_t> bytesWritten{0};
    std::atomic<uint64_t> opened{0};
    std::atomic<uint64_t> gracefulCloses{0};
    std::atomic<uint64_t> abortiveCloses{0};
};

SocketCounters& ProcessSocketCounters();
