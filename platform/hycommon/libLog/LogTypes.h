// Levels, log types and categories of log messages.
#pragma once

#include <cstdint>

// A message passes a threshold when its level is greater than or equal to the threshold.
enum LogLevel : uint8_t {
    LL_All = 0,
    LL_Trace = 20,
    LL_DebugHigh = 40,
    LL_DebugMed = 60,
    LL_DebugLow = 80,
    LL_Status = 100,
    LL_Warning = 120,
    LL_Error = 140,
    LL_Critical = 160,
    LL_Abort = 180,
    LL_None = 255,
};

enum LogType : uint8_t {
    LT_Application = 0,  // every message of this program
    LT_Content = 1,      // bypasses level filters, never folded, never waited for
    LT_All = 255,        // filters only
};

// A category: at most 15 characters, zero padded to 16 bytes.
constexpr int kLogCategorySize = 16;

namespace HYLog {

// The four-letter tag of a level in a log line: "TRAC" .. "ABOR", "????" for any other value.
const char* LevelTag(unsigned level);
// The name of a level ("LL_Trace" ...), nullptr for values that are not levels.
const char* LevelName(unsigned level);
// The level of a name, -1 when the name is unknown.
int LevelFromName(const char* name);
const char* TypeName(unsigned type);
int TypeFromName(const char* name);

}  // namespace HYLog

// Clears the 16 bytes and copies at most 15 characters of `name`; byte 15 always stays zero.
void SetCategory(char (&field)[kLogCategorySize], const char* name);
