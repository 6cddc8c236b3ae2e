// The logging call and the call-site macros every component logs through.
//
//   HY_LOG(LL_Warning, "PLAT_NET", "HYTcpSocket::Connect", "connect failed: %d", error);
//
// The macro tests the global level first; a message below it costs that comparison and two
// per-thread counter increments, and its arguments are never evaluated.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "LogTypes.h"

namespace HYLog {

// The lowest level any registered reactor accepts; LL_None (255) when none is registered.
inline std::atomic<int> g_globalLevel{LL_None};

inline int GetGlobalLevel() { return g_globalLevel.load(std::memory_order_relaxed); }
void SetGlobalLevel(int level);

// Per-thread counters of the logging calls. Only their own thread writes them (plain loads and
// stores, no locked instruction); readers sum them over all threads. Each thread's block is on the
// heap and listed by the library: a thread whose end-of-thread clean-up never runs (on Windows, one
// not started through HY_OS::CreateThread) leaves its block listed and alive, never dangling.
struct ThreadCounters {
    std::atomic<uint64_t> calls{0};
    std::atomic<uint64_t> dispatched{0};
    std::atomic<uint64_t> skipped{0};
    std::atomic<uint64_t> folded{0};
    // Odd while the thread offers a record to the registered reactors: a reactor taken out of
    // the registry is stopped only once every thread that may still be offering to it is done.
    std::atomic<uint32_t> offering{0};
    uint32_t offerDepth = 0;  // nested offers (a reactor that logs while it writes); own thread only
    ThreadCounters* next = nullptr;
};
extern constinit thread_local ThreadCounters* t_counters;
ThreadCounters& RegisterThreadCounters();

inline void Bump(std::atomic<uint64_t>& counter) {
    counter.store(counter.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

inline ThreadCounters& Counters() {
    ThreadCounters* c = t_counters;
    if (__builtin_expect(c == nullptr, 0)) return RegisterThreadCounters();
    return *c;
}

// Brackets one thread's offer of a record to the registered reactors.
inline void BeginOffer(ThreadCounters& c) {
    if (c.offerDepth++ == 0)
        c.offering.store(c.offering.load(std::memory_order_relaxed) + 1, std::memory_order_seq_cst);
}
inline void EndOffer(ThreadCounters& c) {
    if (--c.offerDepth == 0)
        c.offering.store(c.offering.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}
// Waits until every other thread that was offering a record when it was called has finished that
// offer. Called after a reactor has left the registry, before it is stopped.
void WaitForOffersInFlight();

// Counts a call skipped by the global level test.
inline void CountSkipped() {
    ThreadCounters& c = Counters();
    Bump(c.calls);
    Bump(c.skipped);
}

struct LogStatistics {
    uint64_t calls = 0;
    uint64_t dispatched = 0;
    uint64_t skipped = 0;  // by level
    uint64_t folded = 0;
};
LogStatistics GetLogStatistics();
// Makes every counter read 0 from now on.
void ResetLogStatistics();

// Marks logging as shut down: every later call does nothing.
void SetShutDown(bool shutDown);
bool IsShutDown();

// Names the calling thread in the records it makes from now on.
void SetCurrentThreadName(const char* name);
// How many thread names have information kept for the life of the process (for diagnostics).
size_t LastingThreadInfoCount();

// Folding of immediate repeats; disabling sets window and limit to 0.
void SetFolding(bool enabled, uint32_t windowMs, uint32_t limit);

}  // namespace HYLog

// Stamps, folds and dispatches one message. Answers 0 when handled or when logging is shut down,
// 1 when no reactor is registered.
int LogMessage(const char* category, uint8_t type, uint8_t level, uint32_t objectIdLow,
               uint32_t objectIdHigh, uint16_t line, const char* function, const char* sourcePath,
               const char* format, ...) __attribute__((format(printf, 9, 10)));

int LogMessageV(const char* category, uint8_t type, uint8_t level, uint32_t objectIdLow,
                uint32_t objectIdHigh, uint16_t line, const char* function,
                const char* sourcePath, const char* format, va_list args);

// Logs at a fixed line number: for messages whose log line names a line of their own.
#define HY_LOG_AT(line, level, category, function, ...)                                       \
    do {                                                                                    \
        if (::HYLog::GetGlobalLevel() <= static_cast<int>(level)) {                         \
            char hyLogCategory_[kLogCategorySize];                                          \
            ::SetCategory(hyLogCategory_, category);                                        \
            ::LogMessage(hyLogCategory_, LT_Application, static_cast<uint8_t>(level), 0, 0, \
                         static_cast<uint16_t>(line), function, __FILE__, __VA_ARGS__);     \
        } else {                                                                            \
            ::HYLog::CountSkipped();                                                        \
        }                                                                                   \
    } while (0)

// Logs with the caller's own line number.
#define HY_LOG(level, category, function, ...) \
    HY_LOG_AT(__LINE__, level, category, function, __VA_ARGS__)
