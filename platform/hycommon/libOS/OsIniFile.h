// Reading values from INI files: "[Section]" headers and "key=value" lines. Section and key names
// compare without regard to letter case; names and values are trimmed of blanks; lines beginning
// with ';' or '#' are comments. The first occurrence of a section and of a key within it counts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace HY_OS {

// The text of `key` in `section` of the file `path`, at most `maxLength` characters; `fallback`
// when the file, the section or the key is missing. A value in matching single or double quotes
// loses them; a value stops at the first zero byte.
std::string GetIniString(const std::string& path, const std::string& section,
                         const std::string& key, const std::string& fallback, size_t maxLength);

// The number of `key` in `section`: an optional '-', then "0x" and hexadecimal digits or decimal
// digits, kept in 32 bits (a larger value keeps its low 32 bits). `fallback` when the key is
// missing or its value does not begin with a number.
uint32_t GetIniUInt(const std::string& path, const std::string& section, const std::string& key,
                    uint32_t fallback);

// The same two readers over INI text already in memory.
std::string IniStringFromText(const std::string& text, const std::string& section,
                              const std::string& key, const std::string& fallback,
                              size_t maxLength);
uint32_t IniUIntFromText(const std::string& text, const std::string& section,
                         const std::string& key, uint32_t fallback);
// The number rule of GetIniUInt applied to one value (blanks around it are ignored).
uint32_t IniUIntFromValue(const std::string& value, uint32_t fallback);

}  // namespace HY_OS
