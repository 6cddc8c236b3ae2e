// Folder listings on Windows, through FindFirstFile/FindNextFile, and file information through
// GetFileAttributesEx; permission bits as the read-only attribute; directory handles that never
// follow a link (reparse point) below them.
#include "WinHandle.h"

#include "OsFileInfo.h"

#include <cerrno>

namespace HY_OS {

using win::ErrnoFor;

namespace {

// Milliseconds since 1970 of a file time (100 ns units since 1601).
int64_t UnixMs(const FILETIME& time) {
    constexpr int64_t kEpochDifferenceMs = 11644473600000LL;
    uint64_t ticks = (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000) - kEpochDifferenceMs;
}

// A reparse point stands for a symbolic link (or junction): followed unless `noFollow`, by
// examining what it names, which GetFileAttributesEx reports for the link itself.
bool Examine(const std::string& path, FileInfo& info, bool noFollow) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
    bool link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (link && !noFollow) {
        HANDLE target = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (target == INVALID_HANDLE_VALUE) return false;
        BY_HANDLE_FILE_INFORMATION followed{};
        BOOL ok = GetFileInformationByHandle(target, &followed);
        CloseHandle(target);
        if (!ok) return false;
        data.dwFileAttributes = followed.dwFileAttributes;
        data.ftLastWriteTime = followed.ftLastWriteTime;
        data.nFileSizeHigh = followed.nFileSizeHigh;
        data.nFileSizeLow = followed.nFileSizeLow;
        link = false;
    }
    bool directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info = FileInfo{};
    info.size = directory ? 0 : static_cast<int64_t>((uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
    info.lastWriteMs = UnixMs(data.ftLastWriteTime);
    // Windows has only the read-only attribute; the bits say what it allows.
    bool readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    info.permissions = (readOnly ? 0444 : 0666) | (directory ? 0111 : 0);
    info.isSymbolicLink = link;
    info.isDirectory = !link && directory;
    info.isRegular = !link && !directory && (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
    return true;
}

}  // namespace

bool GetFileInfo(const std::string& path, FileInfo& info) { return Examine(path, info, false); }

bool GetLinkInfo(const std::string& path, FileInfo& info) { return Examine(path, info, true); }

bool ListDirectory(const std::string& path, std::vector<DirectoryEntry>& entries, int* error) {
    entries.clear();
    std::string pattern = path;
    if (!pattern.empty() && pattern.back() != '/' && pattern.back() != '\\') pattern += '/';
    pattern += '*';
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        if (error != nullptr) *error = ErrnoFor(GetLastError());
        return false;
    }
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        DirectoryEntry item;
        item.name = std::move(name);
        item.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entries.push_back(std::move(item));
    } while (FindNextFileA(search, &found));
    DWORD last = GetLastError();
    FindClose(search);
    if (last != ERROR_NO_MORE_FILES) {
        entries.clear();
        if (error != nullptr) *error = ErrnoFor(last);
        return false;
    }
    return true;
}

bool SetFilePermissions(const std::string& path, uint32_t permissions) {
    // Only the write bits have a Windows meaning: without any, the file is read-only.
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    DWORD wanted = (permissions & 0222u) != 0 ? attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}
                                              : attributes | FILE_ATTRIBUTE_READONLY;
    if (wanted == attributes) return true;
    if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
    return SetFileAttributesA(path.c_str(), wanted) != 0;
}

namespace {

// The full path of an open directory, for examining the entries below it by name.
std::string PathOfHandle(int handle) {
    char buffer[4096];
    DWORD n = GetFinalPathNameByHandleA(win::ToHandle(handle), buffer, sizeof buffer,
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0 || n >= sizeof buffer) return {};
    return std::string(buffer, n);
}

// One path component: no separators, no "." or "..", no drive or stream colon.
bool IsPlainName(const char* name) {
    std::string text = name;
    return !text.empty() && text != "." && text != ".." &&
           text.find_first_of("/\\:") == std::string::npos;
}

// Opens a directory itself: a reparse point (link or junction) is opened as itself, not followed.
int OpenDirectory(const std::string& path, bool noFollow) {
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (noFollow ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    HANDLE handle = CreateFileA(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return -1;
    BY_HANDLE_FILE_INFORMATION information{};
    bool directory = GetFileInformationByHandle(handle, &information) &&
                     (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                     (!noFollow || (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0);
    if (!directory) {
        CloseHandle(handle);
        return -1;
    }
    return win::ToInt(handle);
}

}  // namespace

// A directory handle is the open directory itself (kept open, so the folder cannot be replaced by
// a link while it is used); entries below it are examined by its final path.
DirectoryHandle::~DirectoryHandle() {
    if (m_fd >= 0) CloseHandle(win::ToHandle(m_fd));
}

DirectoryHandle::DirectoryHandle(DirectoryHandle&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }

DirectoryHandle& DirectoryHandle::operator=(DirectoryHandle&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) CloseHandle(win::ToHandle(m_fd));
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

DirectoryHandle DirectoryHandle::Open(const std::string& path) {
    return DirectoryHandle(OpenDirectory(path, false));
}

DirectoryHandle DirectoryHandle::OpenChild(const char* name, bool& isLink) const {
    isLink = false;
    if (m_fd < 0 || !IsPlainName(name)) return DirectoryHandle();
    std::string base = PathOfHandle(m_fd);
    if (base.empty()) return DirectoryHandle();
    std::string child = base + "\\" + name;
    FileInfo info;
    if (!Examine(child, info, true)) return DirectoryHandle();
    if (info.isSymbolicLink) {
        isLink = true;
        return DirectoryHandle();
    }
    return DirectoryHandle(OpenDirectory(child, true));
}

bool DirectoryHandle::ChildInfo(const char* name, FileInfo& info) const {
    if (m_fd < 0 || !IsPlainName(name)) return false;
    std::string base = PathOfHandle(m_fd);
    return !base.empty() && Examine(base + "\\" + name, info, true);
}

}  // namespace HY_OS
