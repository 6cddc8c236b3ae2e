// The frame that carries every message on a TCP connection: magic 0xF00D (bytes 0D F0), a 16-bit
// body length (0..0x7FFF), or 0x8000 and a 32-bit body length for a long frame; then the body.
#pragma once

#include <cstdint>

enum FrameReadResult : int {
    FRR_Error = 0,
    FRR_Incomplete = 1,
    FRR_Complete = 2,
};

enum FrameWriteResult : int {
    FWR_Error = 0,
    FWR_Blocked = 1,  // the socket is full: call again when it is writable
    FWR_Written = 2,
};

enum FrameReadError : int {
    FRE_None = 0,
    FRE_NoMemory = 2,
    FRE_Socket = 3,
    FRE_BadMagic = 4,
    FRE_TooLong = 5,
    FRE_Rejected = 6,  // the session header check refused the body
};

constexpr uint16_t kFrameMagic = 0xF00D;
constexpr uint32_t kShortFrameLimit = 0x7FFF;
constexpr uint16_t kLongFrameMark = 0x8000;
constexpr uint32_t kMaxFrameBody = 64u * 1024 * 1024;
constexpr uint32_t kStagingSize = 0x8000;

// Logs the failed body allocation at LL_Warning.
void LogFrameAllocationFailure(uint32_t size);
