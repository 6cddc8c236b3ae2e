#include "SessionTimers.h"

#include "HYPerThreadData.h"

namespace {
HYPerThreadData<SessionTimers>& Slot() {
    static auto* slot = new HYPerThreadData<SessionTimers>("PTD SessionTimers");
    return *slot;
}
}  // namespace

SessionTimers::SessionTimers() {
    for (int i = 0; i < 4; ++i) m_lists[i] = std::make_unique<FTList<HYNullLock>>(kIntervals[i]);
}

std::shared_ptr<SessionTimers> SessionTimers::Current() { return Slot().Get(); }

FTList<HYNullLock>* SessionTimers::List(uint32_t intervalMs) {
    for (auto& list : m_lists)
        if (list->Interval() == intervalMs) return list.get();
    return nullptr;
}
