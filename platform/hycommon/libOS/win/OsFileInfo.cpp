// Folder listings on Windows, through FindFirstFile/FindNextFile. The rest of this header (file
// information by one system call, permission bits, no-follow directory handles) is not used by
// the parts of the program the Windows build has so far.
#include "WinHandle.h"

#include "OsFileInfo.h"

#include <cerrno>

namespace HY_OS {

using win::ErrnoFor;

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

}  // namespace HY_OS
