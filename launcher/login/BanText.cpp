#include "BanText.h"

#include <cctype>
#include <ctime>
#include <limits>

#include "OsTime.h"

namespace {

constexpr uint64_t kForeverSeconds = 630720000;
// The window the client compares against: the current time plus 315360000 milliseconds.
constexpr int64_t kWindowSeconds = 315360;

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
    return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max()
                                                        : a + b;
}

uint64_t SaturatingMultiply(uint64_t a, uint64_t b) {
    if (a != 0 && b > std::numeric_limits<uint64_t>::max() / a)
        return std::numeric_limits<uint64_t>::max();
    return a * b;
}

}  // namespace

uint64_t BanSecondsFromTimeStamp(const std::string& timeStamp) {
    if (timeStamp == "forever") return kForeverSeconds;
    uint64_t total = 0;
    size_t i = 0;
    while (i < timeStamp.size()) {
        if (!std::isdigit(static_cast<unsigned char>(timeStamp[i]))) {
            ++i;
            continue;
        }
        uint64_t number = 0;
        while (i < timeStamp.size() && std::isdigit(static_cast<unsigned char>(timeStamp[i]))) {
            number = SaturatingAdd(SaturatingMultiply(number, 10),
                                   static_cast<uint64_t>(timeStamp[i] - '0'));
            ++i;
        }
        uint64_t unit = 1;
        if (i < timeStamp.size()) {
            switch (timeStamp[i]) {
                case 'd': unit = 86400; ++i; break;
                case 'h': unit = 3600; ++i; break;
                case 'm': unit = 60; ++i; break;
                default: break;
            }
        }
        total = SaturatingAdd(total, SaturatingMultiply(number, unit));
    }
    return total;
}

std::string BanEndText(const std::string& timeStamp, int64_t nowSeconds) {
    // An empty time stamp names no end: it must not read as 0, the first second of 1970.
    if (timeStamp.empty()) return {};
    uint64_t seconds = BanSecondsFromTimeStamp(timeStamp);
    if (seconds >= static_cast<uint64_t>(nowSeconds + kWindowSeconds)) return {};
    HY_OS::LocalTime broken{};
    if (seconds > static_cast<uint64_t>(INT64_MAX) ||
        !HY_OS::ToLocalTime(static_cast<int64_t>(seconds), broken))
        return {};
    std::tm local{};
    local.tm_year = static_cast<int>(broken.year) - 1900;
    local.tm_mon = static_cast<int>(broken.month) - 1;
    local.tm_mday = static_cast<int>(broken.day);
    local.tm_hour = static_cast<int>(broken.hour);
    local.tm_min = static_cast<int>(broken.minute);
    local.tm_sec = static_cast<int>(broken.second);
    local.tm_yday = static_cast<int>(broken.yday);
    char text[256];
    size_t length = std::strftime(text, sizeof text, "%B %d, %Y %I:%M %p", &local);
    return std::string(text, length);
}
