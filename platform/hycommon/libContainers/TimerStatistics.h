// The process-wide timer statistics.
#pragma once

#include "StatGroup.h"

enum TimerStat : size_t {
    TST_Overruns,
    TST_MaxOverrunSkew,
    TST_OverrunSkewTotal,
    TST_MaxTimersOnList,
    TST_InsertsTotal,
    TST_InsertsHead,
    TST_InsertsTail,
    TST_InsertsMiddle,
    TST_InsertDepthTotal,
    TST_MaxInsertDepth,
    TST_RemovesTotal,
    TST_ExpiresTotal,
    TST_MaxExpiresPerFrame,
    TST_ListProcessings,
};

StatGroup& TimerStatistics();
