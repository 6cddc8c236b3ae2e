// A line of text built in a fixed buffer without allocating or calling the C library's
// formatting: usable inside a signal handler. Text that does not fit is cut.
#pragma once

#include <cstddef>
#include <cstdint>

class SafeText {
public:
    static constexpr size_t kCapacity = 2048;

    SafeText& Str(const char* text);
    // `text` left-aligned in at least `width` columns.
    SafeText& Padded(const char* text, int width);
    SafeText& Char(char c);
    // Upper-case hexadecimal, zero-padded to `width` digits.
    SafeText& Hex(uint64_t value, int width);
    // Decimal, padded to `width` columns with `pad` ('0' or ' ') on the left.
    SafeText& Dec(uint64_t value, int width = 0, char pad = ' ');
    SafeText& Repeat(char c, int count);
    void Clear() { m_size = 0; m_text[0] = '\0'; }

    const char* c_str() const { return m_text; }
    size_t size() const { return m_size; }

private:
    char m_text[kCapacity + 1] = {};
    size_t m_size = 0;
};

size_t SafeLength(const char* text);
// Copies `from` into `to` (cut to `size` - 1 characters, always terminated).
void SafeCopy(char* to, size_t size, const char* from);
