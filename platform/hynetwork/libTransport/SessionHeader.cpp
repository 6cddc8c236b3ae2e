#include "SessionHeader.h"

uint32_t WriteSessionHeader(const MsgBuffer& buffer, uint8_t (&header)[kMaxSessionHeaderSize]) {
    bool addressed = buffer.m_srcId != 0 || buffer.m_destId != 0;
    uint8_t kind = addressed ? SHK_Addressed : SHK_Plain;
    header[0] = static_cast<uint8_t>((buffer.m_control ? 1 : 0) | (kind << 1));
    header[1] = buffer.m_msgType;
    header[2] = 0;  // session number: none on a TCP session
    header[3] = 0;
    if (!addressed) return 4;
    header[4] = static_cast<uint8_t>(buffer.m_destId);
    header[5] = static_cast<uint8_t>(buffer.m_destId >> 8);
    header[6] = static_cast<uint8_t>(buffer.m_srcId);
    header[7] = static_cast<uint8_t>(buffer.m_srcId >> 8);
    return 8;
}

bool CheckSessionHeader(MsgBuffer& buffer) {
    uint32_t length = buffer.Length();
    if (length < 2) return false;
    const uint8_t* bytes = buffer.Data();
    uint8_t kind = (bytes[0] >> 1) & 0x7;
    if (kind > SHK_Addressed) return false;
    uint32_t headerSize = kind == SHK_Addressed ? 8 : 4;
    if (length < headerSize) return false;
    buffer.m_control = bytes[0] & 1;
    buffer.m_msgType = bytes[1];
    if (kind == SHK_Addressed) {
        buffer.m_destId = static_cast<uint16_t>(bytes[4] | (bytes[5] << 8));
        buffer.m_srcId = static_cast<uint16_t>(bytes[6] | (bytes[7] << 8));
    }
    return buffer.ConsumeHeader(headerSize) == 0;
}
