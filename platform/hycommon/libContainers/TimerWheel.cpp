#include "TimerWheel.h"

#include "LogMessage.h"
#include "TimerStatistics.h"

TimerWheel::TimerWheel() = default;

TimerWheel::~TimerWheel() {
    if (m_numTimers > 0) {
        std::printf("WARNING: m_numTimers = %d in %s (%p).\n", static_cast<int>(m_numTimers),
                    "TimerWheel::~TimerWheel", static_cast<void*>(this));
    }
    Clear();
}

int TimerWheel::Init(uint32_t slots, uint32_t granularityMs) {
    if (slots < 1 || slots > kMaxSlots || granularityMs == 0) return 1;
    Clear();
    m_slotCount = slots;
    m_granularity = granularityMs;
    m_slots.assign(slots, TimerWheelList{});
    m_clock.Init();
    m_base = 0;
    m_currentIndex = 0;
    return 0;
}

void TimerWheel::Clear() {
    for (auto& slot : m_slots) {
        while (TimerWheelBaseNode* node = slot.Head()) {
            slot.Unlink(node);
            node->m_state = TS_Idle;
        }
        slot.RecomputeBounds();
    }
    for (auto& word : m_bitmap) word = 0;
    m_bitCount = 0;
    m_numTimers = 0;
    m_nextExpiry = kNone;
}

uint64_t TimerWheel::Now() {
    if (m_ticking) return m_tickNow;
    m_clock.Update();
    return m_clock.Now();
}

int TimerWheel::StartTimer(TimerWheelBaseNode* timer, uint32_t delayMs) {
    if (timer == nullptr || m_slots.empty()) return 1;
    if (timer->m_list != nullptr) StopTimer(timer);  // restarting a running timer moves it
    uint64_t now = Now();
    uint64_t expiry = now + delayMs;
    if (m_numTimers == 0) {
        m_base = now / m_granularity * m_granularity;
        m_nextExpiry = expiry;
        m_currentIndex = static_cast<uint32_t>(now / m_granularity % m_slotCount);
    }
    // Relative to a base that is a multiple of the slot width this is expiry / G mod N.
    uint32_t index = static_cast<uint32_t>(
        ((expiry - m_base) / m_granularity + m_currentIndex) % m_slotCount);
    TimerWheelList& slot = m_slots[index];
    bool wasEmpty = slot.Empty();
    timer->m_expiry = expiry;
    slot.Insert(timer, m_pass);
    timer->m_state = TS_Running;
    ++m_numTimers;
    if (wasEmpty) SetBit(index);
    if (m_numTimers == 1 || expiry < m_nextExpiry) {
        m_nextExpiry = expiry;
        Rebase(now, false);
    }
    return 0;
}

int TimerWheel::StopTimer(TimerWheelBaseNode* timer) {
    if (timer == nullptr || timer->m_list == nullptr) return 1;
    TimerWheelList* list = timer->m_list;
    if (m_slots.empty() || list < &m_slots.front() || list > &m_slots.back()) return 1;
    Unlink(timer);
    timer->m_state = TS_Idle;
    return 0;
}

void TimerWheel::Unlink(TimerWheelBaseNode* timer) {
    TimerWheelList* list = timer->m_list;
    uint32_t index = static_cast<uint32_t>(list - m_slots.data());
    list->Unlink(timer);
    list->RecomputeBounds();
    TimerStatistics().Increment(TST_RemovesTotal);
    --m_numTimers;
    if (list->Empty()) ClearBit(index);
}

int64_t TimerWheel::TimeUntilNextExpiry() {
    if (m_numTimers == 0 || m_nextExpiry == kNone) return -1;
    uint64_t now = Now();
    return m_nextExpiry > now ? static_cast<int64_t>(m_nextExpiry - now) : 0;
}

int64_t TimerWheel::TimeUntilLastExpiry() {
    if (m_numTimers == 0) return -1;
    uint64_t latest = 0;
    for (const auto& slot : m_slots)
        if (!slot.Empty() && slot.Latest() > latest) latest = slot.Latest();
    uint64_t now = Now();
    return latest > now ? static_cast<int64_t>(latest - now) : 0;
}

uint32_t TimerWheel::TickTimers() {
    m_clock.Update();
    uint64_t now = m_clock.Now();
    ++m_pass;
    m_ticking = true;
    m_tickNow = now;
    uint32_t fired = 0;
    if (m_numTimers == 0 || now < m_nextExpiry) {
        if (m_numTimers > 0) Rebase(now, false);
        m_ticking = false;
        return 0;
    }
    uint64_t next = m_nextExpiry;
    m_nextExpiry = kNone;
    uint32_t index = static_cast<uint32_t>(next / m_granularity % m_slotCount);
    for (uint64_t u = next / m_granularity * m_granularity; u <= now; u += m_granularity) {
        if (m_bitCount == 0) break;  // nothing left anywhere on the wheel
        uint64_t limit = u + m_granularity - 1 < now ? u + m_granularity - 1 : now;
        if (TestBit(index)) fired += TickSlot(index, limit);
        index = (index + 1) % m_slotCount;
    }
    StatGroup& stats = TimerStatistics();
    stats.KeepMax(TST_MaxExpiresPerFrame, fired);
    if (m_numTimers > 0) Rebase(now, true);
    m_ticking = false;
    return fired;
}

uint32_t TimerWheel::TickSlot(uint32_t index, uint64_t limit) {
    TimerWheelList& slot = m_slots[index];
    StatGroup& stats = TimerStatistics();
    uint32_t fired = 0;
    uint64_t maxLateness = 0, totalLateness = 0, overruns = 0;
    const char* lastName = "NA";
    TimerWheelBaseNode* node = slot.Head();
    while (node != nullptr) {
        if (!node->IsAlive()) {
            HY_LOG_AT(347, LL_Warning, "PLAT_Timer", "TimerWheel::TickTimers",
                      "Timer object already destructed. NameLast:%s, Now:%s", lastName,
                      node->m_name.empty() ? "NA" : node->m_name.c_str());
            // Taken off the wheel so that the walk, restarting at the head, cannot meet it again.
            Unlink(node);
            node = slot.Head();
            continue;
        }
        if (node->m_passTag == m_pass) {  // started during this tick
            node = node->m_next;
            continue;
        }
        if (node->m_expiry > limit) break;
        uint64_t lateness = limit - node->m_expiry;
        lastName = node->m_name.empty() ? "NA" : node->m_name.c_str();
        Unlink(node);
        ++fired;
        if (lateness > maxLateness) maxLateness = lateness;
        totalLateness += lateness;
        if (lateness > 0) ++overruns;
        node->Expire(*this);
        // The callback may have started or stopped any timer of this slot: walk again from the
        // head; timers started meanwhile carry this pass's tag and are passed over.
        node = slot.Head();
    }
    slot.RecomputeBounds();
    if (slot.Empty()) ClearBit(index);
    stats.Increment(TST_ListProcessings);
    stats.Add(TST_ExpiresTotal, fired);
    stats.KeepMax(TST_MaxOverrunSkew, static_cast<uint32_t>(maxLateness));
    stats.Add(TST_OverrunSkewTotal, static_cast<uint32_t>(totalLateness));
    stats.Add(TST_Overruns, static_cast<uint32_t>(overruns));
    return fired;
}

void TimerWheel::Rebase(uint64_t now, bool rescan) {
    m_base = now / m_granularity * m_granularity;
    m_currentIndex = static_cast<uint32_t>(now / m_granularity % m_slotCount);
    if (!rescan) return;
    m_nextExpiry = kNone;
    uint32_t index = m_currentIndex;
    for (uint32_t step = 0; step < m_slotCount;) {
        uint32_t found = NextNonEmpty(index);
        if (found == kMaxSlots) break;
        uint32_t distance = (found + m_slotCount - m_currentIndex) % m_slotCount;
        if (distance < step) break;  // wrapped past the start: every slot was seen
        const TimerWheelList& slot = m_slots[found];
        if (slot.Earliest() < m_nextExpiry) m_nextExpiry = slot.Earliest();
        uint64_t windowStart = m_base + static_cast<uint64_t>(distance) * m_granularity;
        if (slot.Earliest() >= windowStart && slot.Earliest() < windowStart + m_granularity) break;
        step = distance + 1;
        index = (found + 1) % m_slotCount;
    }
}

void TimerWheel::Dump(bool listTimers) {
    std::fprintf(stderr, "\n%s: totalTime=%d, totalNodes=%d\n", "TimerWheel::Dump",
                 static_cast<int>(TimeUntilLastExpiry()), static_cast<int>(m_numTimers));
    TimerStatistics().Print(14, stdout);
    if (!listTimers) return;
    uint64_t now = Now();
    std::vector<const TimerWheelBaseNode*> all;
    for (const auto& slot : m_slots)
        for (const TimerWheelBaseNode* n = slot.Head(); n != nullptr; n = n->m_next) all.push_back(n);
    std::stable_sort(all.begin(), all.end(), [](const TimerWheelBaseNode* a, const TimerWheelBaseNode* b) {
        return a->m_expiry < b->m_expiry;
    });
    for (const TimerWheelBaseNode* n : all) {
        int delta = n->m_expiry > now ? static_cast<int>(n->m_expiry - now) : 0;
        std::fprintf(stdout, "  TimerWheelBaseNode:%p delta=%d\n", static_cast<const void*>(n), delta);
    }
}

void TimerWheel::SetBit(uint32_t index) {
    uint64_t bit = uint64_t{1} << (index % 64);
    if (!(m_bitmap[index / 64] & bit)) {
        m_bitmap[index / 64] |= bit;
        ++m_bitCount;
    }
}

void TimerWheel::ClearBit(uint32_t index) {
    uint64_t bit = uint64_t{1} << (index % 64);
    if (m_bitmap[index / 64] & bit) {
        m_bitmap[index / 64] &= ~bit;
        --m_bitCount;
    }
}

bool TimerWheel::TestBit(uint32_t index) const {
    return (m_bitmap[index / 64] >> (index % 64)) & 1;
}

uint32_t TimerWheel::NextNonEmpty(uint32_t index) const {
    if (m_bitCount == 0) return kMaxSlots;
    for (uint32_t checked = 0; checked <= m_slotCount;) {
        uint32_t word = index / 64;
        uint64_t bits = m_bitmap[word] >> (index % 64);
        if (bits != 0) {
            uint32_t found = index + static_cast<uint32_t>(__builtin_ctzll(bits));
            if (found < m_slotCount) return found;
        }
        uint32_t nextWord = (word + 1) * 64;
        checked += nextWord - index;
        index = nextWord >= m_slotCount ? 0 : nextWord;
    }
    return kMaxSlots;
}
