// Clocks of the platform seam.
#pragma once

#include <cstdint>

namespace HY_OS {

// Milliseconds of a monotonic clock; never goes back, unrelated to the wall clock.
uint64_t GetMonotonicMs();

// The monotonic clock's milliseconds cut to 32 bits: wraps after about 49.7 days, like the
// system tick count that timers compute differences of.
uint32_t GetTickCount32();

// Wall-clock time in milliseconds since 1970-01-01 UTC.
uint64_t GetTimeMs();

// Broken-down local time.
struct LocalTime {
    unsigned year;    // e.g. 2025
    unsigned month;   // 1..12
    unsigned day;     // 1..31
    unsigned hour;    // 0..23
    unsigned minute;  // 0..59
    unsigned second;  // 0..60
    unsigned yday;    // 0..365
};

// Converts seconds since 1970 to local time; false when the value cannot be represented.
bool ToLocalTime(int64_t secondsSince1970, LocalTime& out);

// The current local time.
LocalTime GetLocalTime();

void SleepMs(uint32_t ms);

}  // namespace HY_OS
