// A thread's queue of posted events. Any thread may post; only the owning thread processes.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "HYEvent.h"
#include "IoHandle.h"
#include "OsSync.h"
#include "StatGroup.h"

class EventList : public std::enable_shared_from_this<EventList> {
public:
    // Attaches the list's wake-up to the calling thread's demultiplexer.
    EventList();
    ~EventList();

    // The calling thread's list ("PTD_EventList").
    static std::shared_ptr<EventList> Current();

    // Queues an event (any thread) and wakes the owning thread. An event already queued stays
    // where it is and counts as a duplicate.
    void Post(HYEvent* event);
    // Takes a queued event off the list.
    void Remove(HYEvent* event);
    // Runs the queued events; events posted while this runs wait for the next call. Answers the
    // number run.
    int Process();

    uint32_t Length() const;
    uint32_t Pass() const { return m_pass; }
    bool HasWakeUp() const { return m_wake != nullptr; }

private:
    class WakeHandle;

    void UnlinkLocked(HYEvent* event);

    mutable std::mutex m_lock;
    HYEvent* m_head = nullptr;
    HYEvent* m_tail = nullptr;
    uint32_t m_length = 0;
    uint32_t m_pass = 0;
    std::unique_ptr<WakeHandle> m_wake;
};

enum EventStat : size_t {
    EST_MaxEventsOnList,
    EST_Inserts,
    EST_Duplicates,
    EST_Removes,
    EST_Executes,
    EST_MaxExecutesPerFrame,
    EST_ListProcessings,
};

// The process-wide event statistics.
StatGroup& EventStatistics();
