#include "MsgBuffer.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "LogMessage.h"

namespace {
constexpr const char* kCategory = "PLAT_NET";
constexpr const char* kFunction = "MsgBuffer::Dump";
}  // namespace

std::shared_ptr<MsgData> MsgData::Create(uint32_t capacity) {
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[capacity == 0 ? 1 : capacity]);
    if (!bytes) return nullptr;
    return std::make_shared<MsgData>(std::move(bytes), capacity);
}

MsgBufferRef MsgBuffer::Create(uint32_t capacity) {
    std::shared_ptr<MsgData> data = MsgData::Create(capacity);
    if (!data) return nullptr;
    return std::make_shared<MsgBuffer>(std::move(data));
}

MsgBufferRef MsgBuffer::FromBytes(const void* bytes, uint32_t length) {
    MsgBufferRef buffer = Create(length);
    if (buffer && length != 0) buffer->Append(bytes, length);
    return buffer;
}

int MsgBuffer::Append(const void* bytes, uint32_t length) {
    MsgData& data = *m_spData;
    if (length > data.Capacity() - data.Used()) return -1;
    if (length != 0) std::memcpy(data.Base() + data.Used(), bytes, length);
    data.SetUsed(data.Used() + length);
    return 0;
}

int MsgBuffer::AppendU16(uint16_t value) {
    uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    return Append(bytes, 2);
}

int MsgBuffer::AppendU32(uint32_t value) {
    uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return Append(bytes, 4);
}

int MsgBuffer::Read(void* bytes, uint32_t length) {
    if (length > Remaining()) return -1;
    if (length != 0) std::memcpy(bytes, Data() + m_dataOffset, length);
    m_dataOffset += length;
    return 0;
}

int MsgBuffer::ReadU16(uint16_t& value) {
    uint8_t bytes[2];
    if (Read(bytes, 2) != 0) return -1;
    value = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    return 0;
}

int MsgBuffer::ReadU32(uint32_t& value) {
    uint8_t bytes[4];
    if (Read(bytes, 4) != 0) return -1;
    value = uint32_t{bytes[0]} | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) |
            (uint32_t{bytes[3]} << 24);
    return 0;
}

int MsgBuffer::Skip(uint32_t length) {
    if (length > Remaining()) return -1;
    m_dataOffset += length;
    return 0;
}

int MsgBuffer::ConsumeHeader(uint32_t length) {
    if (length > Length()) return -1;
    m_spData->SetPayloadOffset(m_spData->PayloadOffset() + length);
    m_dataOffset = 0;
    return 0;
}

uint32_t MsgBuffer::TotalLength() const {
    uint32_t total = 0;
    for (const MsgBuffer* buffer = this; buffer != nullptr; buffer = buffer->m_pChain.get())
        total += buffer->Length();
    return total;
}

void MsgBuffer::Dump() const {
    HY_LOG(LL_Status, kCategory, kFunction, "MsgBuffer this=%p", static_cast<const void*>(this));
    HY_LOG(LL_Status, kCategory, kFunction, "         m_pChain = %p",
           static_cast<const void*>(m_pChain.get()));
    HY_LOG(LL_Status, kCategory, kFunction, "     m_dataOffset = %u", m_dataOffset);
    HY_LOG(LL_Status, kCategory, kFunction, "         m_spData = %p",
           static_cast<const void*>(m_spData.get()));
    HY_LOG(LL_Status, kCategory, kFunction, " m_spData->Base() = %p",
           static_cast<const void*>(m_spData->Base()));
    HY_LOG(LL_Status, kCategory, kFunction, " m_spData.use_cnt = %ld", m_spData.use_count());
    HY_LOG(LL_Status, kCategory, kFunction, "        m_msgType = %u", unsigned{m_msgType});
    HY_LOG(LL_Status, kCategory, kFunction, "        m_control = %u", unsigned{m_control});
    HY_LOG(LL_Status, kCategory, kFunction, "          m_srcId = %u (0x%0x)", unsigned{m_srcId},
           unsigned{m_srcId});
    HY_LOG(LL_Status, kCategory, kFunction, "         m_destId = %u (0x%0x)", unsigned{m_destId},
           unsigned{m_destId});
    HY_LOG(LL_Status, kCategory, kFunction, "        Length () = %u", Length());
    HY_LOG(LL_Status, kCategory, kFunction, "   TotalLength () = %u", TotalLength());
    HY_LOG(LL_Status, kCategory, kFunction, "  Data = ");
    const uint8_t* bytes = Data();
    for (uint32_t row = 0; row < Length(); row += 16) {
        std::string line;
        char group[4];
        for (uint32_t i = row; i < row + 16 && i < Length(); ++i) {
            std::snprintf(group, sizeof group, "%02X ", bytes[i]);
            line += group;
        }
        HY_LOG(LL_Status, kCategory, kFunction, "%s", line.c_str());
    }
    if (m_pChain) {
        HY_LOG(LL_Status, kCategory, kFunction, "  Chained To ....");
        m_pChain->Dump();
    }
}
