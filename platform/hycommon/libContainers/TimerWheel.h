// A hashed timer wheel: N slots of G milliseconds; a timer lives in the slot of its expiry
// (slot = expiry / G mod N) until it fires or is stopped. Ticks visit only the slots between the
// last due time and now, skipping empty ones through a bitmap, so starting and stopping a timer
// costs a division and a slot lookup whatever the number of timers.
#pragma once

#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "ThreadClock.h"
#include "TimerWheelList.h"
#include "TimerWheelBaseNode.h"

class TimerWheel {
public:
    static constexpr uint32_t kMaxSlots = 1024;
    static constexpr uint64_t kNone = ~uint64_t{0};

    TimerWheel();
    virtual ~TimerWheel();
    TimerWheel(const TimerWheel&) = delete;
    TimerWheel& operator=(const TimerWheel&) = delete;

    // Sets up `slots` empty slots of `granularityMs`; 1 (refused) unless 1 <= slots <= 1024 and
    // the granularity is above 0.
    virtual int Init(uint32_t slots, uint32_t granularityMs);
    // Takes every timer off the wheel (they become idle).
    virtual void Clear();
    // Starts (or moves) a timer to expire `delayMs` from now; 0 started.
    virtual int StartTimer(TimerWheelBaseNode* timer, uint32_t delayMs);
    // 0 stopped; 1 when the timer is not on this wheel.
    virtual int StopTimer(TimerWheelBaseNode* timer);
    // Milliseconds until the next timer is due: -1 when none runs, 0 when one is due.
    virtual int64_t TimeUntilNextExpiry();
    virtual int64_t TimeUntilLastExpiry();
    virtual void Dump(bool listTimers);
    // Fires every due timer; answers how many fired.
    virtual uint32_t TickTimers();
    virtual void Rebase(uint64_t now, bool rescan);

    uint32_t RunningCount() const { return m_numTimers; }
    uint64_t NextExpiry() const { return m_nextExpiry; }
    ThreadClock& Clock() { return m_clock; }
    // The clock's time: the tick's own "now" while ticking, else a fresh reading.
    uint64_t Now();

private:
    friend class TimerWheelBaseNode;

    void Unlink(TimerWheelBaseNode* timer);
    uint32_t TickSlot(uint32_t index, uint64_t limit);
    void SetBit(uint32_t index);
    void ClearBit(uint32_t index);
    bool TestBit(uint32_t index) const;
    // The first non-empty slot at or after `index` going round the wheel; kMaxSlots when none.
    uint32_t NextNonEmpty(uint32_t index) const;

    uint32_t m_slotCount = 0;
    uint32_t m_granularity = 0;
    std::vector<TimerWheelList> m_slots;
    uint64_t m_base = 0;
    uint32_t m_currentIndex = 0;
    uint64_t m_nextExpiry = kNone;
    uint32_t m_numTimers = 0;
    uint64_t m_bitmap[kMaxSlots / 64] = {};
    uint32_t m_bitCount = 0;
    ThreadClock m_clock;
    bool m_ticking = false;
    uint64_t m_tickNow = 0;
    uint32_t m_pass = 0;
};
