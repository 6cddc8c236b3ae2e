// The time a connection's handler may spend in one go (a tenth of a second), measured with the
// processor's time-stamp counter. The counter's rate is learnt on first use; until it is known
// the budget is 95,000,000 ticks.
#pragma once

#include <cstdint>

class ProcessingBudget {
public:
    static constexpr uint64_t kUnknownRateBudget = 95000000;

    ProcessingBudget() : m_start(Ticks()), m_budget(BudgetTicks()) {}
    bool Expired() const { return Ticks() - m_start >= m_budget; }

    // The time-stamp counter (a nanosecond clock where the processor has none).
    static uint64_t Ticks();
    // Ticks in a tenth of a second, or the fixed budget while the rate is being learnt.
    static uint64_t BudgetTicks();

private:
    uint64_t m_start;
    uint64_t m_budget;
};
