#include "SafeText.h"

SafeText& SafeText::Char(char c) {
    if (m_size < kCapacity) {
        m_text[m_size++] = c;
        m_text[m_size] = '\0';
    }
    return *this;
}

SafeText& SafeText::Str(const char* text) {
    for (size_t i = 0; text != nullptr && text[i] != '\0'; ++i) Char(text[i]);
    return *this;
}

SafeText& SafeText::Padded(const char* text, int width) {
    size_t length = SafeLength(text);
    Str(text);
    return Repeat(' ', width - static_cast<int>(length));
}

SafeText& SafeText::Repeat(char c, int count) {
    for (int i = 0; i < count; ++i) Char(c);
    return *this;
}

SafeText& SafeText::Hex(uint64_t value, int width) {
    char digits[16];
    int n = 0;
    do {
        digits[n++] = "0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    } while (value != 0);
    Repeat('0', width - n);
    while (n > 0) Char(digits[--n]);
    return *this;
}

SafeText& SafeText::Dec(uint64_t value, int width, char pad) {
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    Repeat(pad, width - n);
    while (n > 0) Char(digits[--n]);
    return *this;
}

size_t SafeLength(const char* text) {
    size_t n = 0;
    while (text != nullptr && text[n] != '\0') ++n;
    return n;
}

void SafeCopy(char* to, size_t size, const char* from) {
    if (size == 0) return;
    size_t i = 0;
    for (; from != nullptr && from[i] != '\0' && i + 1 < size; ++i) to[i] = from[i];
    to[i] = '\0';
}
