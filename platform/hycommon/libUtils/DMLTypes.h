// The data layer's field types, field flags and persistence values, with their names and sizes.
#pragma once

#include <cstdint>
#include <string_view>

// A field's type byte.
enum DMLType : uint8_t {
    DML_UNKNOWN = 0,
    DML_GID = 1,      // unsigned 64-bit identifier
    DML_INT = 2,      // signed 32-bit
    DML_UINT = 3,     // unsigned 32-bit
    DML_FLT = 4,      // 32-bit float
    DML_BYT = 5,      // signed 8-bit
    DML_UBYT = 6,     // unsigned 8-bit
    DML_USHRT = 7,    // unsigned 16-bit
    DML_DBL = 8,      // 64-bit double
    DML_STRING = 9,   // UTF-8 text
    DML_WSTRING = 10, // UTF-16 text
};

constexpr uint8_t kDMLTypeCount = 11;

// Field flags.
enum DMLFlag : uint8_t {
    DMLF_KEY = 0x01,
    DMLF_TSTAMP = 0x02,
    DMLF_AUTO = 0x04,
    DMLF_MOD = 0x08,      // changed since the flag was last cleared
    DMLF_LOCK = 0x10,     // the type is locked
    DMLF_XFER = 0x20,     // travels in messages; clear means NOXFER
    DMLF_INDEXED = 0x40,  // entered in its table's key index
};

// Persistence of a field; no effect on any encoding.
enum DMLPersistence : uint8_t {
    PER_NORM = 0,
    PER_CONT = 1,
    PER_INHERIT = 2,
    PER_LIST = 3,
    PER_ALLOWNULL = 4,
};

// The validity-mask bit of a type: 1 << (code - 1); 0 for DML_UNKNOWN and unknown codes.
constexpr uint16_t DMLTypeBit(uint8_t type) {
    return (type >= 1 && type < kDMLTypeCount) ? static_cast<uint16_t>(1u << (type - 1)) : 0;
}

// The type's text form ("GID" ... "WSTR", "?" for type 0 and unknown codes).
const char* DMLTypeName(uint8_t type);
// The type of a name, matched exactly and case-sensitively; DML_UNKNOWN for any other text.
uint8_t DMLTypeFromName(std::string_view name);
// Width of a fixed-size value in the binary forms; 0 for texts and unknown types.
int DMLFixedBinaryWidth(uint8_t type);
// Column width of the column dump (3 for codes above 10).
int DMLColumnWidth(uint8_t type);
// "PER_NORM" ... "PER_ALLOWNULL"; "PER_NORM" for values above 4.
const char* DMLPersistenceName(uint8_t persistence);

// Field names the data layer reserves.
inline constexpr const char* kDMLTargetTable = "_TargetTable";
inline constexpr const char* kDMLArgumentCount = "ArgumentCount";

// Category of every data-layer log line.
inline constexpr const char* kDataLayerCategory = "CORE_DATALAYER";
