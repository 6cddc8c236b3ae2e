// The session header that starts every frame body: a flags byte (bit 0 control, bits 1-3 the
// header kind), the control opcode, and for kinds 1 and 2 a session number; kind 2 adds the
// destination and source ids. Kinds 0 and 1 take 4 bytes, kind 2 takes 8.
#pragma once

#include <cstdint>

#include "MsgBuffer.h"

enum SessionHeaderKind : uint8_t {
    SHK_Plain = 0,
    SHK_Numbered = 1,
    SHK_Addressed = 2,
};

constexpr uint32_t kMaxSessionHeaderSize = 8;

// The header written before `buffer`'s payload: kind 0 (control flag, opcode, two zero bytes),
// or kind 2 when the buffer carries a source or destination id. Answers its size.
uint32_t WriteSessionHeader(const MsgBuffer& buffer, uint8_t (&header)[kMaxSessionHeaderSize]);

// Checks the header at the start of a received body and, when it is sound, sets the buffer's
// control flag, opcode and (kind 2) ids and moves the payload start past the header. False for
// a body too short for its header kind or a kind above 2.
bool CheckSessionHeader(MsgBuffer& buffer);
