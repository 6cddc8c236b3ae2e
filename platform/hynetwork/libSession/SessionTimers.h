// The fixed-interval timer lists that the sessions of one thread share ("PTD SessionTimers"):
// 25000, 10000, 4000 and 5000 ms. The 10000-ms list carries the keep-alives.
#pragma once

#include <memory>

#include "FTList.h"

class SessionTimers {
public:
    static constexpr uint32_t kIntervals[4] = {25000, 10000, 4000, 5000};
    static constexpr uint32_t kKeepAliveMs = 10000;

    SessionTimers();
    // The calling thread's lists, made on first use.
    static std::shared_ptr<SessionTimers> Current();

    // The list of `intervalMs`; nullptr for an interval the set does not have.
    FTList<HYNullLock>* List(uint32_t intervalMs);
    FTList<HYNullLock>& KeepAliveList() { return *List(kKeepAliveMs); }

private:
    std::unique_ptr<FTList<HYNullLock>> m_lists[4];
};
