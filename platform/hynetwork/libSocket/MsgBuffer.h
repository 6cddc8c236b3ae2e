// One message's bytes between the network layers. The bytes sit in a reference-counted data
// block; the buffer adds the read position and the session fields (control flag, opcode, ids).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// A fixed-capacity block of bytes: the payload starts at `PayloadOffset()` and ends at `Used()`.
class MsgData {
public:
    // A block of `capacity` bytes, none in use; nullptr when the memory cannot be had.
    static std::shared_ptr<MsgData> Create(uint32_t capacity);

    explicit MsgData(std::unique_ptr<uint8_t[]> bytes, uint32_t capacity)
        : m_bytes(std::move(bytes)), m_capacity(capacity) {}

    uint8_t* Base() { return m_bytes.get(); }
    const uint8_t* Base() const { return m_bytes.get(); }
    uint32_t Capacity() const { return m_capacity; }
    uint32_t Used() const { return m_used; }
    uint32_t PayloadOffset() const { return m_payloadOffset; }
    void SetUsed(uint32_t used) { m_used = used; }
    void SetPayloadOffset(uint32_t offset) { m_payloadOffset = offset; }

private:
    std::unique_ptr<uint8_t[]> m_bytes;
    uint32_t m_capacity;
    uint32_t m_used = 0;
    uint32_t m_payloadOffset = 0;
};

class MsgBuffer;
using MsgBufferRef = std::shared_ptr<MsgBuffer>;

class MsgBuffer {
public:
    // A buffer with room for `capacity` payload bytes; nullptr when the memory cannot be had.
    static MsgBufferRef Create(uint32_t capacity);
    // A buffer holding a copy of `length` bytes; nullptr when the memory cannot be had.
    static MsgBufferRef FromBytes(const void* bytes, uint32_t length);

    explicit MsgBuffer(std::shared_ptr<MsgData> data) : m_spData(std::move(data)) {}

    // Appends at the end of the payload: 0, or -1 (nothing written) beyond the capacity.
    int Append(const void* bytes, uint32_t length);
    int AppendU8(uint8_t value) { return Append(&value, 1); }
    int AppendU16(uint16_t value);
    int AppendU32(uint32_t value);

    // Reads at the read position and advances it: 0, or -1 (nothing read) beyond the payload.
    int Read(void* bytes, uint32_t length);
    int ReadU8(uint8_t& value) { return Read(&value, 1); }
    int ReadU16(uint16_t& value);
    int ReadU32(uint32_t& value);
    int Skip(uint32_t length);
    // Bytes left to read.
    uint32_t Remaining() const { return Length() - m_dataOffset; }

    // Moves the payload start `length` bytes on (after a header); -1 beyond the bytes in use.
    int ConsumeHeader(uint32_t length);

    // The payload: its bytes and their number; TotalLength adds the chained buffers.
    uint8_t* Data() { return m_spData->Base() + m_spData->PayloadOffset(); }
    const uint8_t* Data() const { return m_spData->Base() + m_spData->PayloadOffset(); }
    uint32_t Length() const { return m_spData->Used() - m_spData->PayloadOffset(); }
    uint32_t TotalLength() const;

    // Logs the fields and the payload bytes at LL_Status.
    void Dump() const;

    const std::shared_ptr<MsgData>& DataBlock() const { return m_spData; }

    MsgBufferRef m_pChain;
    uint32_t m_dataOffset = 0;
    uint8_t m_msgType = 0;
    uint8_t m_control = 0;
    uint16_t m_srcId = 0;
    uint16_t m_destId = 0;

private:
    std::shared_ptr<MsgData> m_spData;
};
