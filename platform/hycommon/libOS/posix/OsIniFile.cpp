#include "OsIniFile.h"

#include "OsFile.h"

namespace HY_OS {

namespace {

// INI files are small; a larger file is read only this far.
constexpr int64_t kIniReadLimit = 1 << 20;

bool ReadIniText(const std::string& path, std::string& text) {
    File file = File::Open(path, FileMode::Read);
    if (!file.IsOpen()) return false;
    char block[8192];
    while (static_cast<int64_t>(text.size()) < kIniReadLimit) {
        int64_t n = file.Read(block, sizeof block);
        if (n < 0) return false;
        if (n == 0) break;
        text.append(block, static_cast<size_t>(n));
    }
    if (static_cast<int64_t>(text.size()) > kIniReadLimit) text.resize(kIniReadLimit);
    return true;
}

}  // namespace

std::string GetIniString(const std::string& path, const std::string& section,
                         const std::string& key, const std::string& fallback, size_t maxLength) {
    std::string text;
    if (!ReadIniText(path, text)) return fallback.substr(0, maxLength);
    return IniStringFromText(text, section, key, fallback, maxLength);
}

uint32_t GetIniUInt(const std::string& path, const std::string& section, const std::string& key,
                    uint32_t fallback) {
    std::string text;
    if (!ReadIniText(path, text)) return fallback;
    return IniUIntFromText(text, section, key, fallback);
}

}  // namespace HY_OS
