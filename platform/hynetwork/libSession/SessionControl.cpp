#include "SessionControl.h"

namespace {
MsgBufferRef NewControl(uint8_t opcode, uint32_t size) {
    MsgBufferRef buffer = MsgBuffer::Create(size);
    if (!buffer) return nullptr;
    buffer->m_control = 1;
    buffer->m_msgType = opcode;
    return buffer;
}
}  // namespace

MsgBufferRef BuildOffer(uint16_t sessionId, uint32_t seconds, uint32_t milliseconds) {
    MsgBufferRef b = NewControl(SCO_SessionOffer, kOfferPayloadSize);
    if (!b) return nullptr;
    b->AppendU16(sessionId);
    b->AppendU32(0);
    b->AppendU32(seconds);
    b->AppendU32(milliseconds);
    b->AppendU8(0);
    return b;
}

MsgBufferRef BuildAccept(uint16_t ownId, uint32_t seconds, uint32_t milliseconds,
                         uint16_t offeredId) {
    MsgBufferRef b = NewControl(SCO_SessionAccept, kAcceptPayloadSize);
    if (!b) return nullptr;
    b->AppendU16(ownId);
    b->AppendU32(0);
    b->AppendU32(seconds);
    b->AppendU32(milliseconds);
    b->AppendU16(offeredId);
    b->AppendU8(0);
    return b;
}

MsgBufferRef BuildKeepAlive(uint16_t sessionId, uint32_t clockMs) {
    MsgBufferRef b = NewControl(SCO_KeepAlive, kKeepAlivePayloadSize);
    if (!b) return nullptr;
    b->AppendU16(sessionId);
    b->AppendU32(clockMs);
    return b;
}

bool ReadHandshake(MsgBuffer& buffer, bool isAccept, SessionHandshake& out) {
    if (buffer.ReadU16(out.sessionId) != 0) return false;
    uint32_t seconds = 0, milliseconds = 0;
    if (buffer.Skip(4) == 0 && buffer.ReadU32(seconds) == 0 && buffer.ReadU32(milliseconds) == 0) {
        out.seconds = seconds;
        out.milliseconds = milliseconds;
        out.hasTime = true;
        if (isAccept && buffer.ReadU16(out.offeredId) == 0) out.hasOfferedId = true;
    }
    return true;
}
