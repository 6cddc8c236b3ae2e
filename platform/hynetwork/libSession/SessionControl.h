// The control messages of the session protocol and their payloads (little-endian):
//   0 offer (server -> client): session id u16, 0 u32, seconds u32, milliseconds u32, 0 u8
//   3 keep-alive (both ways): session id u16, the sender's clock in milliseconds u32
//   4 keep-alive reply: the keep-alive's payload unchanged
//   5 accept (client -> server): own id u16, 0 u32, seconds u32, milliseconds u32, offered id
//     u16, 0 u8
//   7 statistics (server -> client): ignored by clients
#pragma once

#include <cstdint>

#include "MsgBuffer.h"

enum SessionControlOpcode : uint8_t {
    SCO_SessionOffer = 0,
    SCO_KeepAlive = 3,
    SCO_KeepAliveReply = 4,
    SCO_SessionAccept = 5,
    SCO_Statistics = 7,
};

constexpr uint32_t kOfferPayloadSize = 15;
constexpr uint32_t kAcceptPayloadSize = 17;
constexpr uint32_t kKeepAlivePayloadSize = 6;

struct SessionHandshake {
    uint16_t sessionId = 0;  // offer: the offered id; accept: the client's own id
    uint32_t seconds = 0;
    uint32_t milliseconds = 0;
    bool hasTime = false;
    uint16_t offeredId = 0;  // accept only
    bool hasOfferedId = false;
};

MsgBufferRef BuildOffer(uint16_t sessionId, uint32_t seconds, uint32_t milliseconds);
MsgBufferRef BuildAccept(uint16_t ownId, uint32_t seconds, uint32_t milliseconds,
                         uint16_t offeredId);
MsgBufferRef BuildKeepAlive(uint16_t sessionId, uint32_t clockMs);

// Reads an offer or accept from the read position. False when even the session id is missing.
bool ReadHandshake(MsgBuffer& buffer, bool isAccept, SessionHandshake& out);
