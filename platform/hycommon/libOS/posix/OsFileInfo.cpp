#include "OsFileInfo.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

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

bool ListDirectory(const std::string& path, std::vector<DirectoryEntry>& entries, int* error) {
    entries.clear();
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) {
        if (error != nullptr) *error = errno;
        return false;
    }
    for (;;) {
        errno = 0;
        struct dirent* entry = ::readdir(dir);
        if (entry == nullptr) break;
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        DirectoryEntry item;
        item.name = std::move(name);
        struct stat st {};
        item.isDirectory = ::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        entries.push_back(std::move(item));
    }
    int readError = errno;
    ::closedir(dir);
    if (readError != 0) {
        if (error != nullptr) *error = readError;
        return false;
    }
    return true;
}

bool SetFilePermissions(const std::string& path, uint32_t permissions) {
    return ::chmod(path.c_str(), static_cast<mode_t>(permissions & 07777)) == 0;
}

DirectoryHandle::~DirectoryHandle() {
    if (m_fd >= 0) ::close(m_fd);
}

DirectoryHandle::DirectoryHandle(DirectoryHandle&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

DirectoryHandle& DirectoryHandle::operator=(DirectoryHandle&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

DirectoryHandle DirectoryHandle::Open(const std::string& path) {
    return DirectoryHandle(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

DirectoryHandle DirectoryHandle::OpenChild(const char* name, bool& isLink) const {
    isLink = false;
    if (m_fd < 0) return DirectoryHandle();
    int fd = ::openat(m_fd, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno != ENOENT) {
        struct stat st {};
        isLink = ::fstatat(m_fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
    }
    return DirectoryHandle(fd);
}

bool DirectoryHandle::ChildInfo(const char* name, FileInfo& info) const {
    struct stat st {};
    if (m_fd < 0 || ::fstatat(m_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    Fill(st, info);
    return true;
}

}  // namespace HY_OS
