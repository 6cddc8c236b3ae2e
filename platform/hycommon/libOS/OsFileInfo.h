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

}  // namespace HY_OS
