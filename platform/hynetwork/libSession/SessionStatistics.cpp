#include "SessionStatistics.h"

namespace {
void KeepMaxOf(std::atomic<uint64_t>& target, uint64_t value) {
    uint64_t seen = target.load(std::memory_order_relaxed);
    while (value > seen && !target.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
    }
}
}  // namespace

SessionCounters& ProcessSessionCounters() {
    static SessionCounters counters;
    return counters;
}

void SessionStatistics::Add(std::atomic<uint64_t> SessionCounters::*counter, uint64_t amount) {
    (m_session.*counter).fetch_add(amount, std::memory_order_relaxed);
    (ProcessSessionCounters().*counter).fetch_add(amount, std::memory_order_relaxed);
}

void SessionStatistics::KeepMax(std::atomic<uint64_t> SessionCounters::*counter, uint64_t value) {
    KeepMaxOf(m_session.*counter, value);
    KeepMaxOf(ProcessSessionCounters().*counter, value);
}
