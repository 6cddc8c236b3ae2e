#include "OsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>


namespace HY_OS {

File File::Open(const std::string& path, FileMode mode, int* error) {
    int flags = O_CLOEXEC;
    switch (mode) {
        case FileMode::Read: flags |= O_RDONLY; break;
        case FileMode::ReadWrite: flags |= O_RDWR; break;
        case FileMode::CreateWrite: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
        case FileMode::CreateAppend: flags |= O_WRONLY | O_CREAT | O_APPEND; break;
        case FileMode::OpenOrCreate: flags |= O_RDWR | O_CREAT; break;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && error) *error = errno;
    return File(fd);
}

int64_t File::Read(void* data, size_t size) {
    if (m_fd < 0) return -1;
    ssize_t n;
    do {
        n = ::read(m_fd, data, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

int64_t File::ReadAt(void* data, size_t size, int64_t offset) {
    if (m_fd < 0) return -1;
    ssize_t n;
    do {
        n = ::pread(m_fd, data, size, offset);
    } while (n < 0 && errno == EINTR);
    return n;
}

bool File::Write(const void* data, size_t size) {
    if (m_fd < 0) return false;
    auto p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(m_fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool File::WriteAt(const void* data, size_t size, int64_t offset) {
    if (m_fd < 0) return false;
    auto p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::pwrite(m_fd, p, size, offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        offset += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool File::Seek(int64_t offset) { return m_fd >= 0 && ::lseek(m_fd, offset, SEEK_SET) == offset; }

int64_t File::Length() const {
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) return -1;
    return st.st_size;
}

bool File::Truncate(int64_t length) { return m_fd >= 0 && ::ftruncate(m_fd, length) == 0; }

bool File::Sync() { return m_fd >= 0 && ::fsync(m_fd) == 0; }

void File::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t FileLength(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return st.st_size;
}

int64_t LastWriteTimeMs(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

bool SetLastWriteTimeMs(const std::string& path, int64_t ms) {
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(ms / 1000);
    times[1].tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

bool RenameFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool CreateDirectories(const std::string& path) {
    if (path.empty()) return false;
    if (IsDirectory(path)) return true;
    std::string parent = DirectoryPart(path);
    if (!parent.empty() && parent != path && !CreateDirectories(parent)) return false;
    return ::mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && IsDirectory(path));
}

bool RemoveDirectory(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

std::string GetCurrentDirectory() {
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer) == nullptr) return {};
    return buffer;
}

bool SetCurrentDirectory(const std::string& path) { return ::chdir(path.c_str()) == 0; }

int LastSystemError() { return errno; }

SystemErrorKind KindOfSystemError(int error) {
    switch (error) {
        case ENOSPC:
        case EDQUOT:
        case ENOMEM:
        case EFBIG:
            return SEK_NoSpace;
        case ETXTBSY:
        case EBUSY:
            return SEK_SharingViolation;
        default:
            return SEK_Other;
    }
}

}  // namespace HY_OS
