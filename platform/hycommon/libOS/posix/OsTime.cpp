#include "OsTime.h"

#include <ctime>
#include <cerrno>

#include "OsSysCalls.h"

namespace HY_OS {

uint64_t GetMonotonicMs() { return SysCalls().MonotonicMs(); }

uint32_t GetTickCount32() { return static_cast<uint32_t>(GetMonotonicMs()); }

uint64_t GetTimeMs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec / 1000000);
}

bool ToLocalTime(int64_t secondsSince1970, LocalTime& out) {
    time_t t = static_cast<time_t>(secondsSince1970);
    tm parts{};
    if (localtime_r(&t, &parts) == nullptr) return false;
    out.year = static_cast<unsigned>(parts.tm_year + 1900);
    out.month = static_cast<unsigned>(parts.tm_mon + 1);
    out.day = static_cast<unsigned>(parts.tm_mday);
    out.hour = static_cast<unsigned>(parts.tm_hour);
    out.minute = static_cast<unsigned>(parts.tm_min);
    out.second = static_cast<unsigned>(parts.tm_sec);
    out.yday = static_cast<unsigned>(parts.tm_yday);
    return true;
}

LocalTime GetLocalTime() {
    LocalTime now{};
    ToLocalTime(static_cast<int64_t>(GetTimeMs() / 1000), now);
    return now;
}

void SleepMs(uint32_t ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

}  // namespace HY_OS
