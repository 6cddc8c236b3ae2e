#include "TimerWheelList.h"

#include <algorithm>

#include "TimerStatistics.h"

std::vector<TimerWheelList::ExpiryRun>::iterator TimerWheelList::FindRun(uint64_t expiry) {
    return std::lower_bound(m_runs.begin(), m_runs.end(), expiry,
                            [](const ExpiryRun& run, uint64_t e) { return run.expiry < e; });
}

void TimerWheelList::LinkAfter(TimerWheelBaseNode* node, TimerWheelBaseNode* before) {
    node->m_prev = before;
    node->m_next = before ? before->m_next : m_head;
    if (node->m_next) node->m_next->m_prev = node; else m_tail = node;
    if (before) before->m_next = node; else m_head = node;
}

void TimerWheelList::LinkBefore(TimerWheelBaseNode* node, TimerWheelBaseNode* after) {
    LinkAfter(node, after->m_prev);
}

void TimerWheelList::Insert(TimerWheelBaseNode* node, uint32_t passTag) {
    StatGroup& stats = TimerStatistics();
    stats.Increment(TST_InsertsTotal);
    uint64_t e = node->m_expiry;
    node->m_list = this;
    node->m_passTag = passTag;
    if (m_head == nullptr || e >= m_latest) {
        // At the tail: after every timer of the same expiry too.
        LinkAfter(node, m_tail);
        if (!m_runs.empty() && m_runs.back().expiry == e) {
            m_runs.back().last = node;
        } else {
            m_runs.push_back({e, node, node});
        }
        m_latest = e;
        stats.Increment(TST_InsertsTail);
    } else if (e < m_earliest) {
        LinkAfter(node, nullptr);
        m_runs.insert(m_runs.begin(), {e, node, node});
        stats.Increment(TST_InsertsHead);
    } else {
        auto run = FindRun(e);
        // `run` exists: e < m_latest, so some run has a larger or equal expiry.
        uint32_t depth = static_cast<uint32_t>(run - m_runs.begin());
        if (run->expiry == e) {
            LinkAfter(node, run->last);
            run->last = node;
        } else {
            LinkBefore(node, run->first);
            m_runs.insert(run, {e, node, node});
        }
        stats.Increment(TST_InsertsMiddle);
        stats.Add(TST_InsertDepthTotal, depth);
        stats.KeepMax(TST_MaxInsertDepth, depth);
    }
    if (e < m_earliest) m_earliest = e;
    ++m_count;
    stats.KeepMax(TST_MaxTimersOnList, m_count);
}

void TimerWheelList::Unlink(TimerWheelBaseNode* node) {
    auto run = FindRun(node->m_expiry);
    if (run != m_runs.end() && run->expiry == node->m_expiry) {
        if (run->first == node && run->last == node) {
            m_runs.erase(run);
        } else if (run->first == node) {
            run->first = node->m_next;
        } else if (run->last == node) {
            run->last = node->m_prev;
        }
    }
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
