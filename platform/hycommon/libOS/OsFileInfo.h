// What one system call tells about a file: its kind, size, last-write time and permission bits,
// without opening it. Used where only existence, size and time matter (cache checks, path checks)
// and to carry permission bits from a replaced file to its successor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace HY_OS {

struct FileInfo {
    int64_t size = 0;
    int64_t lastWriteMs = 0;     // milliseconds since 1970
    uint32_t permissions = 0;    // the permission bits (0777 and the set-id and sticky bits)
    bool isRegular = false;
    bool isDirectory = false;
    bool isSymbolicLink = false; // only ever set by GetLinkInfo
};

// Examines `path`, following symbolic links; false when it cannot be examined.
bool GetFileInfo(const std::string& path, FileInfo& info);
// Examines `path` itself: a symbolic link is reported as one, not followed.
bool GetLinkInfo(const std::string& path, FileInfo& info);
// One entry of a folder listing.
struct DirectoryEntry {
    std::string name;
    bool isDirectory = false;  // following symbolic links
};
// The entries of the folder `path` other than "." and "..", in the order the system lists them.
// False with `error` (errno) when the folder cannot be opened or read.
bool ListDirectory(const std::string& path, std::vector<DirectoryEntry>& entries, int* error = nullptr);
// Sets the permission bits of `path`; false on failure.
bool SetFilePermissions(const std::string& path, uint32_t permissions);

// An open directory, for examining the entries below it without walking the whole path again
// and without following symbolic links on the way. Moves, never copies; closes itself.
class DirectoryHandle {
public:
    DirectoryHandle() = default;
    ~DirectoryHandle();
    DirectoryHandle(DirectoryHandle&& other) noexcept;
    DirectoryHandle& operator=(DirectoryHandle&& other) noexcept;
    DirectoryHandle(const DirectoryHandle&) = delete;
    DirectoryHandle& operator=(const DirectoryHandle&) = delete;

    // Opens the directory `path` (a link there is followed); not open when it is no directory.
    static DirectoryHandle Open(const std::string& path);
    // Opens the subdirectory `name` (one path component, NUL-terminated) without following a
    // link: not open when it is missing, a link (`isLink` set) or no directory.
    DirectoryHandle OpenChild(const char* name, bool& isLink) const;
    // Examines the entry `name` (one component) itself, a link reported as one.
    bool ChildInfo(const char* name, FileInfo& info) const;
    bool IsOpen() const { return m_fd >= 0; }

private:
    explicit DirectoryHandle(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

}  // namespace HY_OS
