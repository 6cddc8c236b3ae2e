#include "TimerStatistics.h"

StatGroup& TimerStatistics() {
    static StatGroup* stats = new StatGroup({
        "Timer Overruns",
        "Timer Max Overrun Skew",
        "Timer Overrun Skew (Total)",
        "Timer Max Timers on List",
        "Timer Inserts (Total)",
        "Timer Inserts (Head)",
        "Timer Inserts (Tail)",
        "Timer Inserts (Middle)",
        "Timer Insert Depth (Total)",
        "Timer Max Insert Depth",
        "Timer Removes (Total)",
        "Timer Expires (Total)",
        "Timer Max Expires per Frame",
        "Timer List Processings",
    });
    return *stats;
}
