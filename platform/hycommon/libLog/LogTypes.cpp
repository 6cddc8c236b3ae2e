#include "LogTypes.h"

#include <cstring>

namespace HYLog {

namespace {

struct NamedValue {
    const char* name;
    unsigned value;
};

constexpr NamedValue kLevels[] = {
    {"LL_All", LL_All},           {"LL_Trace", LL_Trace},     {"LL_DebugHigh", LL_DebugHigh},
    {"LL_DebugMed", LL_DebugMed}, {"LL_DebugLow", LL_DebugLow}, {"LL_Status", LL_Status},
    {"LL_Warning", LL_Warning},   {"LL_Error", LL_Error},     {"LL_Critical", LL_Critical},
    {"LL_Abort", LL_Abort},       {"LL_None", LL_None},
};

constexpr NamedValue kTypes[] = {
    {"LT_Application", LT_Application},
    {"LT_Content", LT_Content},
    {"LT_All", LT_All},
};

template <size_t N>
const char* NameOf(const NamedValue (&table)[N], unsigned value) {
    for (const auto& entry : table)
        if (entry.value == value) return entry.name;
    return nullptr;
}

template <size_t N>
int ValueOf(const NamedValue (&table)[N], const char* name) {
    if (name == nullptr) return -1;
    for (const auto& entry : table)
        if (std::strcmp(entry.name, name) == 0) return static_cast<int>(entry.value);
    return -1;
}

}  // namespace

const char* LevelTag(unsigned level) {
    switch (level) {
        case LL_Trace: return "TRAC";
        case LL_DebugHigh: return "DBGH";
        case LL_DebugMed: return "DBGM";
        case LL_DebugLow: return "DBGL";
        case LL_Status: return "STAT";
        case LL_Warning: return "WARN";
        case LL_Error: return "ERRO";
        case LL_Critical: return "CRIT";
        case LL_Abort: return "ABOR";
        default: return "????";
    }
}

const char* LevelName(unsigned level) { return NameOf(kLevels, level); }
int LevelFromName(const char* name) { return ValueOf(kLevels, name); }
const char* TypeName(unsigned type) { return NameOf(kTypes, type); }
int TypeFromName(const char* name) { return ValueOf(kTypes, name); }

}  // namespace HYLog

void SetCategory(char (&field)[kLogCategorySize], const char* name) {
    std::memset(field, 0, kLogCategorySize);
    if (name == nullptr) return;
    for (int i = 0; i < kLogCategorySize - 1 && name[i] != '\0'; ++i) field[i] = name[i];
}
