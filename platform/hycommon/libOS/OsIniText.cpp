// Reading INI text held in memory: the rules every platform's INI reader shares.
#include "OsIniFile.h"

#include <string_view>

namespace HY_OS {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

// Finds the raw (trimmed) value of the key; false when it is not there.
bool FindValue(std::string_view text, std::string_view section, std::string_view key,
               std::string_view& value) {
    bool inSection = false;
    bool sectionSeen = false;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            std::string_view name = close == std::string_view::npos ? line.substr(1)
                                                                     : line.substr(1, close - 1);
            if (inSection) sectionSeen = true;
            inSection = !sectionSeen && SameName(Trim(name), section);
            continue;
        }
        if (!inSection) continue;
        size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        if (!SameName(Trim(line.substr(0, equals)), key)) continue;
        value = Trim(line.substr(equals + 1));
        return true;
    }
    return false;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string IniStringFromText(const std::string& text, const std::string& section,
                              const std::string& key, const std::string& fallback,
                              size_t maxLength) {
    std::string_view value;
    if (!FindValue(text, section, key, value)) return fallback.substr(0, maxLength);
    value = value.substr(0, value.find('\0'));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, maxLength));
}

uint32_t IniUIntFromValue(const std::string& text, uint32_t fallback) {
    std::string_view value = Trim(text);
    size_t i = 0;
    bool negative = false;
    if (i < value.size() && value[i] == '-') {
        negative = true;
        ++i;
    }
    uint32_t number = 0;
    size_t digits = 0;
    if (i + 1 < value.size() && value[i] == '0' && (value[i + 1] == 'x' || value[i + 1] == 'X')) {
        i += 2;
        for (; i < value.size() && HexDigit(value[i]) >= 0; ++i, ++digits)
            number = number * 16u + static_cast<uint32_t>(HexDigit(value[i]));
    } else {
        for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i, ++digits)
            number = number * 10u + static_cast<uint32_t>(value[i] - '0');
    }
    if (digits == 0) return fallback;
    return negative ? 0u - number : number;
}

uint32_t IniUIntFromText(const std::string& text, const std::string& section,
                         const std::string& key, uint32_t fallback) {
    std::string_view value;
    if (!FindValue(text, section, key, value)) return fallback;
    return IniUIntFromValue(std::string(value), fallback);
}

}  // namespace HY_OS
