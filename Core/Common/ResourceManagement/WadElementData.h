// Reading an element's contents: its stored bytes, checked against the element's CRC and, when it
// is compressed, inflated within fixed size and ratio caps. Every reader of element contents (the
// resource manager, the archive tool) goes through here, so a hostile entry that claims a huge
// size is refused before any buffer is made.
#pragma once

#include <cstdint>
#include <string>

class WadElement;
class WadSource;

// The largest inflated element accepted, and the most a zlib stream can expand.
inline constexpr uint64_t kMaxElementSize = 256ull * 1024 * 1024;
inline constexpr uint64_t kMaxDeflateRatio = 1032;

// Results of ReadElementData.
enum ElementDataResult {
    ED_Ok = 0,
    ED_BadCrc = 1,          // the stored bytes fail the CRC; `out` still holds what they decode to
    ED_Unreadable = -1,     // the stored bytes lie outside the archive or cannot be read
    ED_NotInflatable = -2,  // the CRC holds, but the bytes are not a zlib stream of the recorded
                            // size, or the size is beyond the caps
    ED_Corrupt = -3,        // the stored bytes fail the CRC and do not decode either
};

// Reads `element` from `source` into `out` (replaced only when the result is ED_Ok or ED_BadCrc).
ElementDataResult ReadElementData(const WadElement& element, WadSource& source, std::string& out);

// Inflates one zlib stream that must produce exactly `size` bytes; sizes beyond the caps are
// refused before allocating.
bool InflateElement(const std::string& stored, uint32_t size, std::string& out);
