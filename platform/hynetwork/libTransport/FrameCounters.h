// Process-wide counters of the stream framer, bumped from any thread.
#pragma once

#include <atomic>
#include <cstdint>

struct FrameCounters {
    std::atomic<uint64_t> messagesRead{0};
    std::atomic<uint64_t> bytesRead{0};
    std::atomic<uint64_t> badFrames{0};
    std::atomic<uint64_t> badFrameBytes{0};
    std::atomic<uint64_t> messagesWritten{0};
    std::atomic<uint64_t> bytesWritten{0};
};

FrameCounters& ProcessFrameCounters();
