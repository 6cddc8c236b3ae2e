// The CRC used for the launcher's own checks, file lists, CRC caches, downloads and WAD elements:
// the reflected CRC-32 of polynomial 0xEDB88320 applied byte by byte, starting from 0, with no
// final inversion. Over "abc" it gives 0xCA6598D0, over "123456789" 0x2DFD2D88.
#pragma once

#include <cstddef>
#include <cstdint>

// Continues `crc` over `size` bytes. Pass 0 to start.
uint32_t CrcUpdate(uint32_t crc, const void* data, size_t size);

// Continues `crc` over the bytes of a text up to its terminator.
uint32_t CrcUpdate(uint32_t crc, const char* text);

namespace HYCrc {

// The table-driven byte loop; the reference the fast paths are checked against.
uint32_t UpdateBytewise(uint32_t crc, const void* data, size_t size);

// The same value through zlib's crc32.
uint32_t UpdateZlib(uint32_t crc, const void* data, size_t size);

// The same value through ISA-L's carry-less-multiply routine; false when this build has no ISA-L.
bool HaveIsal();
uint32_t UpdateIsal(uint32_t crc, const void* data, size_t size);

}  // namespace HYCrc
