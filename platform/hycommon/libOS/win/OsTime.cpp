#include "WinHandle.h"

#include <mmsystem.h>

#include <atomic>

#include "OsSysCalls.h"
#include "OsTime.h"

namespace HY_OS {

namespace {

// The multimedia timer counts single milliseconds once its resolution is raised to 1 ms; the
// raise lasts for the life of the process, so waits and timers keep that precision too.
struct TimerResolution {
    TimerResolution() { timeBeginPeriod(1); }
    ~TimerResolution() { timeEndPeriod(1); }
};
TimerResolution g_timerResolution;

// FILETIME counts 100 ns steps from 1601.
constexpr int64_t kEpochDifferenceMs = 11644473600000LL;

bool IsLeap(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned DayOfYear(unsigned year, unsigned month, unsigned day) {
    static const unsigned kBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    return kBefore[month - 1] + day - 1 + (month > 2 && IsLeap(year) ? 1 : 0);
}

}  // namespace

namespace win {

uint64_t MultimediaTimeMs() {
    static std::atomic<uint64_t> last{timeGetTime()};
    uint64_t seen = last.load(std::memory_order_acquire);
    for (;;) {
        // The step since the last reading, across a wrap of the 32-bit count; a reading taken
        // a moment before another thread's (so slightly behind it) counts as no step.
        int32_t step = static_cast<int32_t>(timeGetTime() - static_cast<uint32_t>(seen));
        if (step <= 0) return seen;
        uint64_t now = seen + static_cast<uint64_t>(step);
        if (last.compare_exchange_weak(seen, now, std::memory_order_acq_rel)) return now;
    }
}

}  // namespace win

uint64_t GetMonotonicMs() { return SysCalls().MonotonicMs(); }

uint32_t GetTickCount32() { return static_cast<uint32_t>(GetMonotonicMs()); }

uint64_t GetTimeMs() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return ticks / 10000 - static_cast<uint64_t>(kEpochDifferenceMs);
}

bool ToLocalTime(int64_t secondsSince1970, LocalTime& out) {
    if (secondsSince1970 < -kEpochDifferenceMs / 1000 || secondsSince1970 > (INT64_MAX / 10000000 - kEpochDifferenceMs / 1000))
        return false;
    uint64_t ticks = static_cast<uint64_t>(secondsSince1970 + kEpochDifferenceMs / 1000) * 10000000u;
    FILETIME utc;
    utc.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    utc.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    SYSTEMTIME universal, local;
    if (!FileTimeToSystemTime(&utc, &universal)) return false;
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) return false;
    out.year = local.wYear;
    out.month = local.wMonth;
    out.day = local.wDay;
    out.hour = local.wHour;
    out.minute = local.wMinute;
    out.second = local.wSecond;
    out.yday = DayOfYear(local.wYear, local.wMonth, local.wDay);
    return true;
}

LocalTime GetLocalTime() {
    LocalTime now{};
    ToLocalTime(static_cast<int64_t>(GetTimeMs() / 1000), now);
    return now;
}

void SleepMs(uint32_t ms) { ::Sleep(ms); }

}  // namespace HY_OS
