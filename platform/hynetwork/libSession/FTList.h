// A fixed-interval timer list: every timer on it runs for the list's one interval, so starting a
// timer always appends it. The running timers are kept in expiry order, each holding the time
// left after the one before it, and one thread timer drives the head. Starting, stopping and
// expiring cost a constant amount of work whatever the number of timers, which suits many
// sessions that each keep a keep-alive running.
//
// A list and its timers belong to one thread; `FTList<Lock>` wraps the operations in `Lock`
// (HYNullLock: none, for the per-thread lists).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "HYTimer.h"

class HYTimerSet;
class FTListBase;

class FTListTimer {
public:
    explicit FTListTimer(std::function<void()> onExpire) : m_onExpire(std::move(onExpire)) {}
    // Stops the timer.
    ~FTListTimer();
    FTListTimer(const FTListTimer&) = delete;
    FTListTimer& operator=(const FTListTimer&) = delete;

    bool IsRunning() const { return m_list != nullptr && !m_firing; }

private:
    friend class FTListBase;

    FTListTimer* m_prev = nullptr;
    FTListTimer* m_next = nullptr;
    FTListBase* m_list = nullptr;
    bool m_firing = false;  // expired, waiting for its callback
    uint32_t m_delta = 0;
    std::function<void()> m_onExpire;
};

class FTListBase {
public:
    explicit FTListBase(uint32_t intervalMs);
    // Takes every timer off the list.
    ~FTListBase();
    FTListBase(const FTListBase&) = delete;
    FTListBase& operator=(const FTListBase&) = delete;

    // (Re)starts `timer` to expire one interval from now.
    void Start(FTListTimer& timer);
    void Stop(FTListTimer& timer);

    uint32_t Interval() const { return m_interval; }
    uint32_t Count() const { return m_count; }
    // Milliseconds until `timer` expires; 0 when it is not running or due.
    uint32_t Remaining(const FTListTimer& timer);

private:
    void Link(FTListTimer& timer);
    void Unlink(FTListTimer& timer);
    void UnlinkFiring(FTListTimer& timer);
    uint64_t Now();
    // Time counted against the head since its countdown began, clamped to the total.
    uint32_t Elapsed(uint64_t now, bool lateIsNormal);
    void ArmDriver(uint64_t now);
    void Expire();

    uint32_t m_interval;
    std::weak_ptr<HYTimerSet> m_timerSet;
    FTListTimer* m_head = nullptr;
    FTListTimer* m_tail = nullptr;
    uint32_t m_count = 0;
    uint32_t m_total = 0;      // sum of the deltas: time until the last timer expires
    uint64_t m_headStart = 0;  // when the head's countdown began
    FTListTimer* m_firingHead = nullptr;  // expired timers whose callbacks have not run yet
    CallbackTimer m_driver;
};

// A lock that does nothing: for lists used by one thread only.
struct HYNullLock {
    void lock() {}
    void unlock() {}
};

template <class Lock>
class FTList : public FTListBase {
public:
    explicit FTList(uint32_t intervalMs) : FTListBase(intervalMs) {}
    void Start(FTListTimer& timer) {
        std::lock_guard<Lock> hold(m_lock);
        FTListBase::Start(timer);
    }
    void Stop(FTListTimer& timer) {
        std::lock_guard<Lock> hold(m_lock);
        FTListBase::Stop(timer);
    }

private:
    Lock m_lock;
};
