#include "WinHandle.h"

#include "OsSysCalls.h"
#include "OsTime.h"

#include <io.h>

namespace HY_OS {

int64_t OsSysCalls::FreeDiskSpace(const std::string& path) {
    // GetDiskFreeSpaceEx wants a directory; a file's volume is its folder's.
    std::string where = path.empty() ? "." : path;
    DWORD attributes = GetFileAttributesA(where.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        size_t cut = where.find_last_of("/\\");
        where = cut == std::string::npos ? "." : where.substr(0, cut + 1);
    }
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExA(where.c_str(), &available, nullptr, nullptr)) return -1;
    return static_cast<int64_t>(available.QuadPart);
}

uint64_t OsSysCalls::MonotonicMs() { return win::MultimediaTimeMs(); }

int64_t OsSysCalls::WriteFile(int fd, const void* data, size_t size) {
    // The C runtime's descriptor write; the crash writer's files are opened through it.
    return static_cast<int64_t>(_write(fd, data, static_cast<unsigned>(size)));
}

}  // namespace HY_OS
