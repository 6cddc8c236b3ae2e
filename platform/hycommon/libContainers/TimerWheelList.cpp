#include "TimerWheelList.h"

#include "TimerStatistics.h"

void TimerWheelList::Insert(TimerWheelBaseNode* node, uint32_t passTag) {
    StatGroup& stats = TimerStatistics();
    stats.Increment(TST_InsertsTotal);
    uint64_t e = node->m_expiry;
    node->m_list = this;
    node->m_passTag = passTag;
    if (m_head == nullptr || e >= m_latest) {
        node->m_prev = m_tail;
        node->m_next = nullptr;
        if (m_tail) m_tail->m_next = node; else m_head = node;
        m_tail = node;
        m_latest = e;
        stats.Increment(TST_InsertsTail);
    } else if (e < m_earliest) {
        node->m_prev = nullptr;
        node->m_next = m_head;
        m_head->m_prev = node;
        m_head = node;
        stats.Increment(TST_InsertsHead);
    } else {
        TimerWheelBaseNode* at = m_head;
        uint32_t depth = 0;
        while (at != nullptr && at->m_expiry <= e) {
            at = at->m_next;
            ++depth;
        }
        // `at` is the first later timer; it exists because e < m_latest.
        node->m_next = at;
        node->m_prev = at->m_prev;
        if (at->m_prev) at->m_prev->m_next = node; else m_head = node;
        at->m_prev = node;
        stats.Increment(TST_InsertsMiddle);
        stats.Add(TST_InsertDepthTotal, depth);
        stats.KeepMax(TST_MaxInsertDepth, depth);
    }
    if (e < m_earliest) m_earliest = e;
    ++m_count;
    stats.KeepMax(TST_MaxTimersOnList, m_count);
}

void TimerWheelList::Unlink(TimerWheelBaseNode* node) {
    if (node->m_prev) node->m_prev->m_next = node->m_next; else m_head = node->m_next;
    if (node->m_next) node->m_next->m_prev = node->m_prev; else m_tail = node->m_prev;
    node->m_prev = node->m_next = nullptr;
    node->m_list = nullptr;
    --m_count;
}

void TimerWheelList::RecomputeBounds() {
    m_earliest = m_head ? m_head->m_expiry : kNone;
    m_latest = m_tail ? m_tail->m_expiry : 0;
}
