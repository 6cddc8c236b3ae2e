#include "WinHandle.h"

#include <algorithm>
#include <vector>

#include "OsIniFile.h"

namespace HY_OS {

namespace {

// The profile functions look a bare file name up in the Windows folder, so the path is made
// absolute against the current directory first. A missing file is reported as missing, never
// read from somewhere else.
bool FullPath(const std::string& path, std::string& full) {
    if (path.empty()) return false;
    char buffer[MAX_PATH * 4];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    if (n == 0 || n >= sizeof buffer) return false;
    full.assign(buffer, n);
    DWORD attributes = GetFileAttributesA(full.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The value of `key`, or false when the section or the key is missing. An empty default cannot
// tell a missing key from an empty value, so a default no value can equal is used.
bool ReadValue(const std::string& file, const std::string& section, const std::string& key,
               size_t maxLength, std::string& value) {
    static const char kMissing[] = "\x01\x02missing\x02\x01";
    std::vector<char> buffer(std::min<size_t>(maxLength, 65535) + 2);
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), kMissing, buffer.data(),
                                       static_cast<DWORD>(buffer.size()), file.c_str());
    value.assign(buffer.data(), n);
    return value != kMissing;
}

}  // namespace

std::string GetIniString(const std::string& path, const std::string& section,
                         const std::string& key, const std::string& fallback, size_t maxLength) {
    std::string file, value;
    if (!FullPath(path, file) || section.empty() || key.empty() ||
        !ReadValue(file, section, key, maxLength, value)) {
        return fallback.substr(0, maxLength);
    }
    return value.substr(0, maxLength);
}

uint32_t GetIniUInt(const std::string& path, const std::string& section, const std::string& key,
                    uint32_t fallback) {
    std::string file, value;
    if (!FullPath(path, file) || section.empty() || key.empty() ||
        !ReadValue(file, section, key, 64, value)) {
        return fallback;
    }
    return IniUIntFromValue(value, fallback);
}

}  // namespace HY_OS
