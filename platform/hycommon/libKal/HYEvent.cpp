#include "HYEvent.h"

#include "EventList.h"

HYEvent::HYEvent(int kind) {
    uint32_t flags = 0;
    if (kind == EK_Synchronous) flags |= EF_Synchronous;
    if (kind == EK_CopyOnSignal) flags |= EF_CopyOnSignal;
    m_flags.store(flags, std::memory_order_release);
    m_list = EventList::Current();
}

HYEvent::~HYEvent() { Unlink(); }

void HYEvent::Unlink() {
    if (!IsQueued()) return;
    if (std::shared_ptr<EventList> list = m_list.lock()) list->Remove(this);
}

int HYEvent::Signal() {
    if (Flags() & EF_Synchronous) {
        Unlink();
        Run();
        return 0;
    }
    std::shared_ptr<EventList> list = m_list.lock();
    if (!list) return 1;
    list->Post(this);
    return 0;
}

int HYEvent::Signal(std::shared_ptr<void> data) {
    if (!(Flags() & EF_CopyOnSignal)) return Signal();
    std::shared_ptr<EventList> list = m_list.lock();
    if (!list) return 1;
    std::unique_ptr<HYEvent> copy = Clone();
    if (!copy) {
        m_data = std::move(data);
        list->Post(this);
        return 0;
    }
    copy->m_data = std::move(data);
    copy->m_list = list;
    copy->m_flags.fetch_or(EF_DeleteAfterRun, std::memory_order_acq_rel);
    list->Post(copy.release());  // the list deletes it after it ran
    return 0;
}

void HYEvent::BindToCurrentThread() {
    std::shared_ptr<EventList> current = EventList::Current();
    if (m_list.lock() == current) return;
    Unlink();
    m_list = current;
}

CallbackEvent::CallbackEvent(std::function<void()> function, const char* name, const char* file,
                             int line, int kind)
    : HYEvent(kind), m_function(std::move(function)), m_name(name), m_file(file), m_line(line) {}

void CallbackEvent::Run() {
    if (m_function) m_function();
}
