// A thread's timer set: the timer wheel (1024 slots of 7 ms) whose due timers fire in that
// thread's loop passes, and which tells the loop how long it may sleep.
#pragma once

#include <memory>

#include "TimerWheel.h"

class HYTimerSet : public TimerWheel {
public:
    static constexpr uint32_t kSlots = 1024;
    static constexpr uint32_t kGranularityMs = 7;

    HYTimerSet();
    ~HYTimerSet() override;

    // The calling thread's timer set ("PTD_TimerSet").
    static std::shared_ptr<HYTimerSet> Current();

    uint32_t ResolutionMs() const { return m_resolutionMs; }

private:
    uint32_t m_resolutionMs = 1;
};
