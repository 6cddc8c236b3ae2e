#include "ProcessingBudget.h"

#include <atomic>
#include <chrono>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#define HY_HAVE_TSC 1
#endif

namespace {

uint64_t Nanoseconds() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

// The rate is learnt from the ticks that pass over at least 50 ms of the steady clock, counted
// from the first use; the first use only takes the starting point.
constexpr uint64_t kLearnNs = 50000000;
std::atomic<uint64_t> g_budget{0};
std::atomic<uint64_t> g_firstTicks{0};
std::atomic<uint64_t> g_firstNs{0};

}  // namespace

uint64_t ProcessingBudget::Ticks() {
#ifdef HY_HAVE_TSC
    return __rdtsc();
#else
    return Nanoseconds();
#endif
}

uint64_t ProcessingBudget::BudgetTicks() {
    uint64_t known = g_budget.load(std::memory_order_relaxed);
    if (known != 0) return known;
#ifndef HY_HAVE_TSC
    g_budget.store(100000000, std::memory_order_relaxed);
    return 100000000;
#else
    uint64_t ticks = Ticks();
    uint64_t ns = Nanoseconds();
    uint64_t expected = 0;
    if (g_firstNs.compare_exchange_strong(expected, ns, std::memory_order_acq_rel)) {
        g_firstTicks.store(ticks, std::memory_order_release);
        return kUnknownRateBudget;
    }
    uint64_t firstNs = expected;
    uint64_t firstTicks = g_firstTicks.load(std::memory_order_acquire);
    if (firstTicks == 0 || ns - firstNs < kLearnNs || ticks <= firstTicks) return kUnknownRateBudget;
    double rate = static_cast<double>(ticks - firstTicks) * 1e9 / static_cast<double>(ns - firstNs);
    uint64_t budget = static_cast<uint64_t>(rate / 10.0);
    if (budget == 0) return kUnknownRateBudget;
    g_budget.store(budget, std::memory_order_relaxed);
    return budget;
#endif
}
