#include "WinHandle.h"
// After <windows.h>, whose macros the seam header takes back.
#include "OsFile.h"

namespace HY_OS {

using win::ToHandle;
using win::ToInt;

File File::Open(const std::string& path, FileMode mode, int* error) {
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    switch (mode) {
        case FileMode::Read: break;
        case FileMode::ReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
        case FileMode::CreateWrite: access = GENERIC_WRITE; disposition = CREATE_ALWAYS; break;
        // FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the end.
        case FileMode::CreateAppend: access = FILE_APPEND_DATA | SYNCHRONIZE; disposition = OPEN_ALWAYS; break;
        case FileMode::OpenOrCreate: access = GENERIC_READ | GENERIC_WRITE; disposition = OPEN_ALWAYS; break;
    }
    // Others may read, write, rename and delete the file while it is open, as on POSIX systems;
    // the launcher replaces files that a reader may still hold.
    HANDLE handle = CreateFileA(path.c_str(), access,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        if (error) *error = static_cast<int>(GetLastError());
        return File();
    }
    return File(ToInt(handle));
}

int64_t File::Read(void* data, size_t size) {
    if (m_fd < 0) return -1;
    DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD n = 0;
    if (!ReadFile(ToHandle(m_fd), data, chunk, &n, nullptr)) return -1;
    return n;
}

namespace {
// Positioned reads and writes leave the file position where it was, as pread and pwrite do;
// on a synchronous handle an OVERLAPPED offset would move it.
struct KeepPosition {
    HANDLE handle;
    LARGE_INTEGER saved{};
    bool ok;
    explicit KeepPosition(HANDLE h) : handle(h) {
        LARGE_INTEGER zero{};
        ok = SetFilePointerEx(handle, zero, &saved, FILE_CURRENT) != 0;
    }
    ~KeepPosition() {
        if (ok) SetFilePointerEx(handle, saved, nullptr, FILE_BEGIN);
    }
};

OVERLAPPED At(int64_t offset) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
    where.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    return where;
}
}  // namespace

int64_t File::ReadAt(void* data, size_t size, int64_t offset) {
    if (m_fd < 0 || offset < 0) return -1;
    KeepPosition keep(ToHandle(m_fd));
    DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    OVERLAPPED where = At(offset);
    DWORD n = 0;
    if (!ReadFile(ToHandle(m_fd), data, chunk, &n, &where)) {
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    }
    return n;
}

bool File::Write(const void* data, size_t size) {
    if (m_fd < 0) return false;
    auto p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD n = 0;
        if (!WriteFile(ToHandle(m_fd), p, chunk, &n, nullptr) || n == 0) return false;
        p += n;
        size -= n;
    }
    return true;
}

bool File::WriteAt(const void* data, size_t size, int64_t offset) {
    if (m_fd < 0 || offset < 0) return false;
    KeepPosition keep(ToHandle(m_fd));
    auto p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        OVERLAPPED where = At(offset);
        DWORD n = 0;
        if (!WriteFile(ToHandle(m_fd), p, chunk, &n, &where) || n == 0) return false;
        p += n;
        offset += n;
        size -= n;
    }
    return true;
}

bool File::Seek(int64_t offset) {
    if (m_fd < 0 || offset < 0) return false;
    LARGE_INTEGER to{};
    to.QuadPart = offset;
    return SetFilePointerEx(ToHandle(m_fd), to, nullptr, FILE_BEGIN) != 0;
}

int64_t File::Length() const {
    LARGE_INTEGER size{};
    if (m_fd < 0 || !GetFileSizeEx(ToHandle(m_fd), &size)) return -1;
    return size.QuadPart;
}

bool File::Truncate(int64_t length) {
    if (m_fd < 0 || length < 0) return false;
    KeepPosition keep(ToHandle(m_fd));
    LARGE_INTEGER to{};
    to.QuadPart = length;
    return SetFilePointerEx(ToHandle(m_fd), to, nullptr, FILE_BEGIN) &&
           SetEndOfFile(ToHandle(m_fd));
}

bool File::Sync() { return m_fd >= 0 && FlushFileBuffers(ToHandle(m_fd)) != 0; }

void File::Close() {
    if (m_fd >= 0) {
        CloseHandle(ToHandle(m_fd));
        m_fd = -1;
    }
}

namespace {
bool Attributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
    return !path.empty() && GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) != 0;
}

// FILETIME counts 100 ns steps from 1601; the seam counts milliseconds from 1970.
constexpr int64_t kEpochDifferenceMs = 11644473600000LL;

int64_t ToUnixMs(const FILETIME& time) {
    uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000) - kEpochDifferenceMs;
}

FILETIME FromUnixMs(int64_t ms) {
    uint64_t ticks = static_cast<uint64_t>(ms + kEpochDifferenceMs) * 10000;
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}
}  // namespace

bool FileExists(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return Attributes(path, data);
}

bool IsDirectory(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return Attributes(path, data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int64_t FileLength(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!Attributes(path, data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

int64_t LastWriteTimeMs(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!Attributes(path, data)) return -1;
    return ToUnixMs(data.ftLastWriteTime);
}

bool SetLastWriteTimeMs(const std::string& path, int64_t ms) {
    if (ms < -kEpochDifferenceMs) return false;
    HANDLE handle = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    FILETIME time = FromUnixMs(ms);
    bool ok = SetFileTime(handle, nullptr, nullptr, &time) != 0;
    CloseHandle(handle);
    return ok;
}

bool DeleteFile(const std::string& path) {
    if (::DeleteFileA(path.c_str())) return true;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool RenameFile(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

bool CreateDirectories(const std::string& path) {
    if (path.empty()) return false;
    if (IsDirectory(path)) return true;
    std::string parent = DirectoryPart(path);
    // A drive ("C:") or a root needs no making.
    bool isRoot = parent.empty() || parent == path || (parent.size() == 2 && parent[1] == ':');
    if (!isRoot && !CreateDirectories(parent)) return false;
    return CreateDirectoryA(path.c_str(), nullptr) != 0 ||
           (GetLastError() == ERROR_ALREADY_EXISTS && IsDirectory(path));
}

bool RemoveDirectory(const std::string& path) { return ::RemoveDirectoryA(path.c_str()) != 0; }

std::string GetCurrentDirectory() {
    char buffer[MAX_PATH * 4];
    DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
    if (n == 0 || n >= sizeof buffer) return {};
    return std::string(buffer, n);
}

bool SetCurrentDirectory(const std::string& path) {
    return !path.empty() && SetCurrentDirectoryA(path.c_str()) != 0;
}

int LastSystemError() { return static_cast<int>(GetLastError()); }

SystemErrorKind KindOfSystemError(int error) {
    // STG_E_MEDIUMFULL: the storage layer's "medium full", seen through some file systems.
    constexpr int kStorageMediumFull = static_cast<int>(0x80030070u);
    switch (error) {
        case ERROR_OUTOFMEMORY:
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_HANDLE_DISK_FULL:
        case ERROR_DISK_FULL:
        case kStorageMediumFull:
            return SEK_NoSpace;
        case ERROR_SHARING_VIOLATION:
            return SEK_SharingViolation;
        default:
            return SEK_Other;
    }
}

}  // namespace HY_OS
