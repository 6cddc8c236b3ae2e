#include "HYTimerSet.h"

#include <cstdio>

#include "HYPerThreadData.h"

namespace {
HYPerThreadData<HYTimerSet>& Slot() {
    static auto* slot = new HYPerThreadData<HYTimerSet>("PTD_TimerSet");
    return *slot;
}
}  // namespace

HYTimerSet::HYTimerSet() {
    // The monotonic clock here already counts single milliseconds: there is no system timer
    // resolution to raise, so the set keeps resolution 1.
    if (Init(kSlots, kGranularityMs) != 0) {
        std::printf("ERROR: Init(%u, %u) failed in %s.\n", kSlots, kGranularityMs,
                    "HYTimerSet::HYTimerSet");
    }
}

HYTimerSet::~HYTimerSet() = default;

std::shared_ptr<HYTimerSet> HYTimerSet::Current() { return Slot().Get(); }
