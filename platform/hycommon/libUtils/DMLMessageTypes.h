// The message types of the special messages of service 2, which the self-describing binary forms
// use. The message manager sets them when it loads the service-2 module; 0 means not known yet.
// Also the hook through which table files decode their messages with the message manager.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

class DMLRecord;

namespace DMLSpecialTypes {

constexpr uint8_t kBaseService = 2;

inline std::atomic<uint8_t> rawRecord{0};
inline std::atomic<uint8_t> customRecord{0};
inline std::atomic<uint8_t> customDict{0};

inline uint8_t RawRecord() { return rawRecord.load(std::memory_order_relaxed); }
inline uint8_t CustomRecord() { return customRecord.load(std::memory_order_relaxed); }
inline uint8_t CustomDict() { return customDict.load(std::memory_order_relaxed); }

}  // namespace DMLSpecialTypes

// Decodes one message with the loaded message definitions; implemented by the message manager.
class DMLMessageCodec {
public:
    virtual ~DMLMessageCodec() = default;
    // Bytes consumed, -1 when more bytes are needed or the message is refused, another negative
    // code for a corrupted message.
    virtual int DecodeMessage(DMLRecord& record, const uint8_t* data, size_t size,
                              uint8_t accessLevel) = 0;
};

// The codec binary table files use; nullptr until the message manager exists.
DMLMessageCodec* GetDMLMessageCodec();
void SetDMLMessageCodec(DMLMessageCodec* codec);
