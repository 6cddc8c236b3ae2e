#include "InstallPermissions.h"

#include <cstring>

#include "OsFile.h"
#include "OsFileInfo.h"

InstalledFile ExamineInstalledFile(const std::string& target) {
    InstalledFile installed;
    HY_OS::FileInfo info;
    if (HY_OS::GetFileInfo(target, info) && info.isRegular) {
        installed.exists = true;
        installed.permissions = info.permissions;
    }
    return installed;
}

bool LooksExecutable(const char* bytes, size_t size) {
    if (size >= 4 && std::memcmp(bytes, "\x7f" "ELF", 4) == 0) return true;
    return size >= 2 && bytes[0] == '#' && bytes[1] == '!';
}

bool PrepareInstallPermissions(const std::string& replacement, const InstalledFile& previous) {
    if (previous.exists) return HY_OS::SetFilePermissions(replacement, previous.permissions);
    char head[4] = {};
    int64_t n = 0;
    {
        HY_OS::File file = HY_OS::File::Open(replacement, HY_OS::FileMode::Read);
        if (!file.IsOpen()) return false;
        n = file.Read(head, sizeof head);
    }
    if (n <= 0 || !LooksExecutable(head, static_cast<size_t>(n))) return true;
    HY_OS::FileInfo info;
    if (!HY_OS::GetFileInfo(replacement, info)) return false;
    // Execute where reading is allowed: the creation mask already chose who may read.
    uint32_t permissions = info.permissions | ((info.permissions & 0444u) >> 2);
    return HY_OS::SetFilePermissions(replacement, permissions);
}
