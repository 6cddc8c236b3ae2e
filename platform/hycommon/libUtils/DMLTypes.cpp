#include "DMLTypes.h"

namespace {

constexpr const char* kTypeNames[kDMLTypeCount] = {"?",   "GID",  "INT",   "UINT", "FLT", "BYT",
                                                   "UBYT", "USHRT", "DBL", "STR",  "WSTR"};
constexpr int kColumnWidths[kDMLTypeCount] = {4, 20, 10, 10, 8, 3, 4, 5, 20, 15, 15};
constexpr int kBinaryWidths[kDMLTypeCount] = {0, 8, 4, 4, 4, 1, 1, 2, 8, 0, 0};
constexpr const char* kPersistenceNames[] = {"PER_NORM", "PER_CONT", "PER_INHERIT", "PER_LIST",
                                             "PER_ALLOWNULL"};

}  // namespace

const char* DMLTypeName(uint8_t type) {
    return type < kDMLTypeCount ? kTypeNames[type] : kTypeNames[0];
}

uint8_t DMLTypeFromName(std::string_view name) {
    for (uint8_t type = 1; type < kDMLTypeCount; ++type) {
        if (name == kTypeNames[type]) return type;
    }
    return DML_UNKNOWN;
}

int DMLFixedBinaryWidth(uint8_t type) { return type < kDMLTypeCount ? kBinaryWidths[type] : 0; }

int DMLColumnWidth(uint8_t type) { return type < kDMLTypeCount ? kColumnWidths[type] : 3; }

const char* DMLPersistenceName(uint8_t persistence) {
    return persistence <= PER_ALLOWNULL ? kPersistenceNames[persistence] : kPersistenceNames[0];
}
