#include "FileCopyCalls.h"

#include <cerrno>
#include <vector>

#include "OsFile.h"
#include "OsFileInfo.h"
#include "OsTime.h"
#include "PatchClientTypes.h"

namespace {

FileCopyCalls g_realCalls;
FileCopyCalls* g_calls = &g_realCalls;

constexpr size_t kChunk = 256 * 1024;

uint32_t Fail(const std::string& temp, int error) {
    HY_OS::DeleteFile(temp);
    return SystemErrorFromErrno(error);
}

}  // namespace

uint32_t FileCopyCalls::CopyFile(const std::string& source, const std::string& target) {
    int error = 0;
    HY_OS::File in = HY_OS::File::Open(source, HY_OS::FileMode::Read, &error);
    if (!in.IsOpen()) return SystemErrorFromErrno(error);
    HY_OS::FileInfo info;
    if (!HY_OS::GetFileInfo(source, info)) return SystemErrorFromErrno(errno);

    // Refuse before writing anything when the target's volume cannot take the file.
    std::string directory = HY_OS::DirectoryPart(target);
    int64_t free = HY_OS::GetFreeDiskSpace(directory.empty() ? std::string(".") : directory);
    if (free >= 0 && free < info.size) return SE_DiskFull;

    const std::string temp = target + kCopyTempSuffix;
    HY_OS::File out = HY_OS::File::Open(temp, HY_OS::FileMode::CreateWrite, &error);
    if (!out.IsOpen()) return SystemErrorFromErrno(error);
    std::vector<char> buffer(kChunk);
    for (;;) {
        int64_t got = in.Read(buffer.data(), buffer.size());
        if (got < 0) return Fail(temp, errno);
        if (got == 0) break;
        errno = 0;
        if (!out.Write(buffer.data(), static_cast<size_t>(got))) return Fail(temp, errno ? errno : ENOSPC);
    }
    if (!out.Sync()) return Fail(temp, errno);
    out.Close();
    if (!HY_OS::SetFilePermissions(temp, info.permissions) ||
        !HY_OS::SetLastWriteTimeMs(temp, info.lastWriteMs)) {
        return Fail(temp, errno);
    }
    if (!HY_OS::RenameFile(temp, target)) return Fail(temp, errno);
    return SE_None;
}

void FileCopyCalls::SleepMs(uint32_t ms) { HY_OS::SleepMs(ms); }

FileCopyCalls& CopyCalls() { return *g_calls; }

ScopedFileCopyCalls::ScopedFileCopyCalls(FileCopyCalls& calls) : m_previous(g_calls) { g_calls = &calls; }

ScopedFileCopyCalls::~ScopedFileCopyCalls() { g_calls = m_previous; }
