#include "FTList.h"

#include "HYTimerSet.h"
#include "LogMessage.h"

FTListTimer::~FTListTimer() {
    if (m_list != nullptr) m_list->Stop(*this);
}

FTListBase::FTListBase(uint32_t intervalMs)
    : m_interval(intervalMs),
      m_timerSet(HYTimerSet::Current()),
      m_driver([this] { Expire(); }, "FTList", __FILE__, __LINE__) {}

FTListBase::~FTListBase() {
    m_driver.Stop();
    while (m_head != nullptr) Unlink(*m_head);
    while (m_firingHead != nullptr) UnlinkFiring(*m_firingHead);
}

uint64_t FTListBase::Now() {
    std::shared_ptr<HYTimerSet> set = m_timerSet.lock();
    return set ? set->Now() : 0;
}

uint32_t FTListBase::Elapsed(uint64_t now, bool lateIsNormal) {
    uint64_t elapsed = now > m_headStart ? now - m_headStart : 0;
    if (elapsed > m_total) {
        // The driver firing a little late is normal; more than a whole interval beyond the last
        // expiry means the bookkeeping went wrong.
        if (!lateIsNormal && elapsed > uint64_t{m_total} + m_interval) {
            HY_LOG(LL_Error, "FTList", "FTList::Elapsed", "Elapsed time (%u) exceeds total time (%u).",
                   static_cast<uint32_t>(elapsed), m_total);
        }
        elapsed = m_total;
    }
    return static_cast<uint32_t>(elapsed);
}

void FTListBase::Link(FTListTimer& timer) {
    timer.m_list = this;
    timer.m_firing = false;
    timer.m_prev = m_tail;
    timer.m_next = nullptr;
    if (m_tail) m_tail->m_next = &timer;
    else m_head = &timer;
    m_tail = &timer;
    ++m_count;
}

void FTListBase::Unlink(FTListTimer& timer) {
    if (timer.m_prev) timer.m_prev->m_next = timer.m_next;
    else m_head = timer.m_next;
    if (timer.m_next) timer.m_next->m_prev = timer.m_prev;
    else m_tail = timer.m_prev;
    timer.m_prev = timer.m_next = nullptr;
    timer.m_list = nullptr;
    --m_count;
}

void FTListBase::UnlinkFiring(FTListTimer& timer) {
    if (timer.m_prev) timer.m_prev->m_next = timer.m_next;
    else m_firingHead = timer.m_next;
    if (timer.m_next) timer.m_next->m_prev = timer.m_prev;
    timer.m_prev = timer.m_next = nullptr;
    timer.m_list = nullptr;
    timer.m_firing = false;
}

void FTListBase::ArmDriver(uint64_t now) {
    if (m_head == nullptr) {
        m_driver.Stop();
        return;
    }
    uint32_t elapsed = Elapsed(now, true);
    m_driver.StartTimer(m_head->m_delta > elapsed ? m_head->m_delta - elapsed : 0);
}

void FTListBase::Start(FTListTimer& timer) {
    if (timer.m_list != nullptr) Stop(timer);
    uint64_t now = Now();
    if (m_head == nullptr) {
        timer.m_delta = m_interval;
        m_total = m_interval;
        m_headStart = now;
        Link(timer);
        ArmDriver(now);
        return;
    }
    uint32_t remaining = m_total - Elapsed(now, false);
    timer.m_delta = m_interval > remaining ? m_interval - remaining : 0;
    m_total += timer.m_delta;
    Link(timer);
}

void FTListBase::Stop(FTListTimer& timer) {
    if (timer.m_list != this) return;
    if (timer.m_firing) {
        UnlinkFiring(timer);
        return;
    }
    bool wasHead = &timer == m_head;
    if (timer.m_next != nullptr) {
        // The time it stood for moves to the timer after it.
        timer.m_next->m_delta += timer.m_delta;
    } else if (timer.m_delta > m_total) {
        HY_LOG(LL_Error, "FTList", "FTList::Stop", "Delta time (%u) exceeds total time (%u).",
               timer.m_delta, m_total);
        m_total = 0;
    } else {
        m_total -= timer.m_delta;
    }
    Unlink(timer);
    if (m_head == nullptr) m_total = 0;
    if (wasHead) ArmDriver(Now());
}

uint32_t FTListBase::Remaining(const FTListTimer& timer) {
    if (timer.m_list != this || timer.m_firing) return 0;
    uint64_t due = 0;
    for (FTListTimer* t = m_head; t != nullptr; t = t->m_next) {
        due += t->m_delta;
        if (t == &timer) break;
    }
    uint32_t elapsed = Elapsed(Now(), true);
    return due > elapsed ? static_cast<uint32_t>(due - elapsed) : 0;
}

void FTListBase::Expire() {
    uint64_t now = Now();
    uint32_t elapsed = Elapsed(now, true);
    // Move every due timer to the firing list first: callbacks may start, stop or destroy
    // timers, including ones that expired with them.
    FTListTimer* firingTail = nullptr;
    while (m_head != nullptr && m_head->m_delta <= elapsed) {
        FTListTimer& due = *m_head;
        elapsed -= due.m_delta;
        m_total -= due.m_delta;
        Unlink(due);
        due.m_list = this;
        due.m_firing = true;
        due.m_prev = firingTail;
        due.m_next = nullptr;
        if (firingTail) firingTail->m_next = &due;
        else m_firingHead = &due;
        firingTail = &due;
    }
    if (m_head == nullptr) m_total = 0;
    m_headStart = now - elapsed;
    ArmDriver(now);
    while (m_firingHead != nullptr) {
        FTListTimer& due = *m_firingHead;
        UnlinkFiring(due);
        if (due.m_onExpire) due.m_onExpire();
    }
}
