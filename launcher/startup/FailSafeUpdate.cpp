#include "FailSafeUpdate.h"

#include <string>

#include "Crc.h"
#include "OsDownload.h"
#include "OsFile.h"
#include "OsIniFile.h"
#include "OsProcess.h"
#include "StartupLog.h"

namespace {

constexpr const char* kInfoSection = "PatchInfo";
constexpr size_t kMaxDownloadUrlLength = 1023;
constexpr const char* kProgramFileName = "FailSafePatch.exe";
// The information file holds two short values; a longer answer is not one.
constexpr int64_t kMaxInfoFileBytes = 64 * 1024;


}  // namespace

uint32_t LaunchFileCrc(const std::string& path) {
    HY_OS::File file = HY_OS::File::Open(path, HY_OS::FileMode::Read);
    if (!file.IsOpen()) return 0;
    uint32_t crc = 0;
    char block[64 * 1024];
    for (;;) {
        int64_t n = file.Read(block, sizeof block);
        if (n <= 0) return crc;
        crc = CrcUpdate(crc, block, static_cast<size_t>(n));
    }
}

FailSafeResult RunFailSafeUpdateCheck(const std::string& failSafeUrl, const std::string& exePath,
                                      const std::string& exeDirectory) {
    uint32_t launcherCrc = LaunchFileCrc(exePath);
    // The CRC in decimal names both the server's entry and the local file: "<crc>" and
    // "<crc>.patch" (up to ten digits).
    std::string crcText = std::to_string(launcherCrc);
    std::string infoUrl = failSafeUrl + crcText;
    std::string infoFile = HY_OS::JoinPath(exeDirectory, crcText + ".patch");

    // No information file on the server means that there is no fail-safe patch for this build.
    HY_OS::DeleteFile(infoFile);
    if (HY_OS::DownloadUrlToFile(infoUrl, infoFile, nullptr, kMaxInfoFileBytes) != HY_OS::DR_Ok ||
        !HY_OS::FileExists(infoFile)) {
        return FS_Continue;
    }

    uint32_t expectedCrc = HY_OS::GetIniUInt(infoFile, kInfoSection, "CRC32", 0);
    std::string downloadUrl =
        HY_OS::GetIniString(infoFile, kInfoSection, "DownloadURL", "", kMaxDownloadUrlLength);
    STARTUP_LOG(LL_Status, "Patch found, downloading fail safe patch: CRC = %u, URL = %s",
                expectedCrc, downloadUrl.c_str());

    std::string programFile = HY_OS::JoinPath(exeDirectory, kProgramFileName);
    HY_OS::DeleteFile(programFile);
    if (HY_OS::DownloadUrlToFile(downloadUrl, programFile) != HY_OS::DR_Ok) {
        STARTUP_LOG(LL_Error, "Failed to download fail safe patch from %s", downloadUrl.c_str());
        return FS_Continue;
    }

    uint32_t foundCrc = LaunchFileCrc(programFile);
    if (foundCrc != expectedCrc) {
        STARTUP_LOG(LL_Error, "CRC check failed for file download, expected %u, found %u",
                    expectedCrc, foundCrc);
        return FS_Continue;
    }

    STARTUP_LOG(LL_Status, "CRC check success, running downloaded patch file.");
    // A downloaded file is not runnable here until it is marked so; only a checked one is.
    if (HY_OS::MakeExecutable(programFile) &&
        HY_OS::SpawnProcess(programFile, {}, std::string()) == 0) {
        STARTUP_LOG(LL_Status, "Downloaded and starting fail safe patching, exiting...");
        return FS_PatchStarted;
    }
    return FS_Continue;
}
