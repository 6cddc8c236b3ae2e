// The ban-end text of a validate reply: the reply's `TimeStamp` read as a number of seconds and
// shown as a local date when it lies before the current time plus 315360 seconds.
#pragma once

#include <cstdint>
#include <string>

// "forever" is 630720000; otherwise a run of decimal numbers, each optionally followed by a unit
// letter d (86400), h (3600) or m (60), added up. Characters that are neither digits nor unit
// letters are skipped.
uint64_t BanSecondsFromTimeStamp(const std::string& timeStamp);

// The text of `timeStamp` for a ban ending now: the seconds as a calendar time since 1970 in local
// time ("%B %d, %Y %I:%M %p", at most 255 characters) when that time is earlier than
// `nowSeconds` + 315360; otherwise, and for an empty time stamp, empty.
std::string BanEndText(const std::string& timeStamp, int64_t nowSeconds);
