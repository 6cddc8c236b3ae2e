#include "Crc.h"

#include <zlib.h>

#include <array>
#include <climits>
#include <cstring>

#ifdef HY_HAVE_ISAL
#include <isa-l/crc.h>
#endif

// Both libraries compute the common CRC-32, which inverts the value before and after the byte
// loop; inverting around their call cancels that: CrcUpdate(c, d) == ~crc32(~c, d).

namespace HYCrc {

namespace {

constexpr std::array<uint32_t, 256> MakeTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

}  // namespace

uint32_t UpdateBytewise(uint32_t crc, const void* data, size_t size) {
    auto p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) crc = (crc >> 8) ^ kTable[(crc ^ p[i]) & 0xFF];
    return crc;
}

uint32_t UpdateZlib(uint32_t crc, const void* data, size_t size) {
    auto p = static_cast<const Bytef*>(data);
    uLong c = ~crc & 0xFFFFFFFFu;
    // zlib takes lengths as uInt; feed very large buffers in pieces.
    while (size > 0) {
        uInt piece = size > UINT_MAX ? UINT_MAX : static_cast<uInt>(size);
        c = crc32(c, p, piece);
        p += piece;
        size -= piece;
    }
    return ~static_cast<uint32_t>(c);
}

bool HaveIsal() {
#ifdef HY_HAVE_ISAL
    return true;
#else
    return false;
#endif
}

uint32_t UpdateIsal(uint32_t crc, const void* data, size_t size) {
#ifdef HY_HAVE_ISAL
    auto p = static_cast<const unsigned char*>(data);
    uint32_t c = ~crc;
    while (size > 0) {
        uint64_t piece = size > (1ull << 30) ? (1ull << 30) : size;
        c = crc32_gzip_refl(c, p, piece);
        p += piece;
        size -= piece;
    }
    return ~c;
#else
    return UpdateZlib(crc, data, size);
#endif
}

}  // namespace HYCrc

uint32_t CrcUpdate(uint32_t crc, const void* data, size_t size) {
    if (size == 0) return crc;
#ifdef HY_HAVE_ISAL
    return HYCrc::UpdateIsal(crc, data, size);
#else
    return HYCrc::UpdateZlib(crc, data, size);
#endif
}

uint32_t CrcUpdate(uint32_t crc, const char* text) {
    return text ? CrcUpdate(crc, text, std::strlen(text)) : crc;
}
