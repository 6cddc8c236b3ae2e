#include "FrameCounters.h"

FrameCounters& ProcessFrameCounters() {
    static FrameCounters counters;
    return counters;
}
