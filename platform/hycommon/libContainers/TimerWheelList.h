// One slot of a timer wheel: its timers in ascending expiry order (equal expiries in the order
// they were inserted), with the earliest and latest expiry it holds.
#pragma once

#include <cstdint>
#include <vector>

#include "TimerWheelBaseNode.h"

class TimerWheelList {
public:
    static constexpr uint64_t kNone = ~uint64_t{0};

    bool Empty() const { return m_head == nullptr; }
    uint32_t Count() const { return m_count; }
    uint64_t Earliest() const { return m_earliest; }
    uint64_t Latest() const { return m_latest; }
    TimerWheelBaseNode* Head() const { return m_head; }

    // Inserts in expiry order and records which way it went in the timer statistics.
    void Insert(TimerWheelBaseNode* node, uint32_t passTag);
    void Unlink(TimerWheelBaseNode* node);
    void RecomputeBounds();

private:
    // The timers of one expiry value form a run of the list; this index holds each run's ends in
    // ascending expiry order, so that an insert or removal finds its place without walking the
    // list (a slot of a busy wheel holds hundreds of timers but only a few distinct expiries).
    struct ExpiryRun {
        uint64_t expiry;
        TimerWheelBaseNode* first;
        TimerWheelBaseNode* last;
    };
    std::vector<ExpiryRun>::iterator FindRun(uint64_t expiry);
    void LinkAfter(TimerWheelBaseNode* node, TimerWheelBaseNode* before);
    void LinkBefore(TimerWheelBaseNode* node, TimerWheelBaseNode* after);

    std::vector<ExpiryRun> m_runs;
    TimerWheelBaseNode* m_head = nullptr;
    TimerWheelBaseNode* m_tail = nullptr;
    uint32_t m_count = 0;
    uint64_t m_earliest = kNone;
    uint64_t m_latest = 0;
};
