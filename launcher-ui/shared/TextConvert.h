// Conversions between the launcher's 8-bit texts, the window's UTF-16 texts and the UTF-8 that
// GTK shows.
#pragma once

#include <string>

namespace LarkUi {

// 8-bit text from the launcher or a file: UTF-8 when the bytes are valid UTF-8 (the system code
// page here), otherwise one character per byte in the Windows-1252 code page.
std::u16string AnsiToUtf16(const std::string& text);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD, so any text can be shown.
std::string Utf16ToUtf8(const std::u16string& text);

// UTF-8 (as GTK hands it out) to UTF-16; invalid bytes become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);

}  // namespace LarkUi
