#include "EventList.h"

#include <cerrno>
#include <cstdio>

#include "HYIODemux.h"
#include "HYPerThreadData.h"

StatGroup& EventStatistics() {
    static StatGroup* stats = new StatGroup({
        "HYEvent Max Events on List",
        "HYEvent Inserts",
        "HYEvent Duplicates",
        "HYEvent Removes",
        "HYEvent Executes",
        "HYEvent Max Executes per Frame",
        "Event List Processings",
    });
    return *stats;
}

namespace {
// Made when the program starts, as the counters' order is fixed from the first event on.
[[maybe_unused]] StatGroup& g_eventStatistics = EventStatistics();

HYPerThreadData<EventList>& Slot() {
    static auto* slot = new HYPerThreadData<EventList>("PTD_EventList");
    return *slot;
}
}  // namespace

// The list's wake-up: an auto-reset event watched by the owning thread's demultiplexer.
class EventList::WakeHandle : public IoHandle {
public:
    bool Valid() const { return m_event.IsValid(); }
    void Set() { m_event.Set(); }
    int Descriptor() const { return m_event.Descriptor(); }
    int OnSignalled() override {
        m_event.Reset();
        return 0;
    }

private:
    HY_OS::WakeEvent m_event;
};

EventList::EventList() {
    auto wake = std::make_unique<WakeHandle>();
    if (!wake->Valid()) {
        std::fprintf(stderr, "Unable to create IoHandle for EventList: ERROR=%d\n", errno);
        return;
    }
    wake->SetHandleAndMask(wake->Descriptor(), IO_Signalled);
    if (wake->Attach(HYIODemux::Current()) != 0) {
        std::fprintf(stderr, "Unable to create IoHandle for EventList: ERROR=%d\n", -1);
        return;
    }
    m_wake = std::move(wake);
}

EventList::~EventList() {
    std::lock_guard<std::mutex> hold(m_lock);
    while (m_head != nullptr) {
        HYEvent* event = m_head;
        UnlinkLocked(event);
        if (event->Flags() & EF_DeleteAfterRun) delete event;
    }
}

std::shared_ptr<EventList> EventList::Current() { return Slot().Get(); }

void EventList::Post(HYEvent* event) {
    StatGroup& stats = EventStatistics();
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (event->IsQueued()) {
            stats.Increment(EST_Duplicates);
            return;
        }
        event->m_passTag = m_pass;
        event->m_flags.fetch_or(EF_Queued, std::memory_order_acq_rel);
        event->m_prev = m_tail;
        event->m_next = nullptr;
        if (m_tail) m_tail->m_next = event; else m_head = event;
        m_tail = event;
        ++m_length;
        stats.Increment(EST_Inserts);
        stats.KeepMax(EST_MaxEventsOnList, m_length);
    }
    if (m_wake) m_wake->Set();
}

void EventList::UnlinkLocked(HYEvent* event) {
    if (event->m_prev) event->m_prev->m_next = event->m_next; else m_head = event->m_next;
    if (event->m_next) event->m_next->m_prev = event->m_prev; else m_tail = event->m_prev;
    event->m_prev = event->m_next = nullptr;
    event->m_flags.fetch_and(~static_cast<uint32_t>(EF_Queued), std::memory_order_acq_rel);
    --m_length;
}

void EventList::Remove(HYEvent* event) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!event->IsQueued()) return;
    UnlinkLocked(event);
    EventStatistics().Increment(EST_Removes);
}

int EventList::Process() {
    StatGroup& stats = EventStatistics();
    int ran = 0;
    std::unique_lock<std::mutex> hold(m_lock);
    uint32_t pass = ++m_pass;
    while (m_head != nullptr && m_head->m_passTag != pass) {
        HYEvent* event = m_head;
        UnlinkLocked(event);
        // Read before running: an event may destroy itself from inside Run.
        bool deleteAfterRun = (event->Flags() & EF_DeleteAfterRun) != 0;
        hold.unlock();
        event->Run();
        ++ran;
        if (deleteAfterRun) delete event;
        hold.lock();
    }
    hold.unlock();
    stats.Increment(EST_ListProcessings);
    stats.Add(EST_Executes, static_cast<uint32_t>(ran));
    stats.KeepMax(EST_MaxExecutesPerFrame, static_cast<uint32_t>(ran));
    return ran;
}

uint32_t EventList::Length() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_length;
}
