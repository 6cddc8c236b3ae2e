#include "OsFileInfo.h"

#include <sys/stat.h>

namespace HY_OS {

namespace {

void Fill(const struct stat& st, FileInfo& info) {
    info.size = st.st_size;
    info.lastWriteMs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    info.permissions = static_cast<uint32_t>(st.st_mode & 07777);
    info.isRegular = S_ISREG(st.st_mode);
    info.isDirectory = S_ISDIR(st.st_mode);
    info.isSymbolicLink = S_ISLNK(st.st_mode);
}

}  // namespace

bool GetFileInfo(const std::string& path, FileInfo& info) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    Fill(st, info);
    return true;
}

bool GetLinkInfo(const std::string& path, FileInfo& info) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return false;
    Fill(st, info);
    return true;
}

bool SetFilePermissions(const std::string& path, uint32_t permissions) {
    return ::chmod(path.c_str(), static_cast<mode_t>(permissions & 07777)) == 0;
}

}  // namespace HY_OS
