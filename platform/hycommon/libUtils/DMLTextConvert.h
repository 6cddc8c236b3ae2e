// Conversions between UTF-8 and UTF-16 text and the Base64 form the table files use for wide
// text. Conversions fail on malformed input (unpaired surrogates, bad UTF-8 sequences) instead of
// guessing.
#pragma once

#include <string>
#include <string_view>

// UTF-16 (surrogate pairs decoded) to UTF-8; false and `out` unchanged on malformed input.
bool Utf16ToUtf8(std::u16string_view in, std::string& out);
// UTF-8 to UTF-16; false and `out` unchanged on malformed input (overlong forms, surrogates
// encoded in UTF-8, code points above U+10FFFF, truncated sequences).
bool Utf8ToUtf16(std::string_view in, std::u16string& out);

// Standard Base64 with "=" padding.
std::string Base64Encode(std::string_view bytes);
// Decodes standard Base64 (padding optional, no whitespace); false on malformed text.
bool Base64Decode(std::string_view text, std::string& bytes);

// The UTF-16LE bytes of a wide text, and back (an odd trailing byte is dropped).
std::string Utf16ToLEBytes(std::u16string_view text);
std::u16string Utf16FromLEBytes(std::string_view bytes);
