#include "AccountName.h"

#include <cstdint>

namespace {

// The length of the sequence starting at `text[i]`, 0 when it is not valid UTF-8.
size_t SequenceLength(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    uint8_t lead = byte(i);
    if (lead < 0x80) return 1;
    size_t length;
    uint32_t value;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        value = (value << 6) | (byte(i + k) & 0x3F);
    }
    static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length]) return 0;              // over-long form
    if (value >= 0xD800 && value <= 0xDFFF) return 0;     // surrogate
    if (value > 0x10FFFF) return 0;
    return length;
}

}  // namespace

bool CountUtf8CodePoints(const std::string& text, size_t& count) {
    count = 0;
    for (size_t i = 0; i < text.size();) {
        size_t length = SequenceLength(text, i);
        if (length == 0) return false;
        i += length;
        ++count;
    }
    return true;
}

std::string TruncateUtf8(const std::string& text, size_t limit) {
    size_t i = 0;
    for (size_t n = 0; n < limit && i < text.size(); ++n) {
        size_t length = SequenceLength(text, i);
        if (length == 0) break;
        i += length;
    }
    return text.substr(0, i);
}
