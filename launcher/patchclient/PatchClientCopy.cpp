// The directory copy of the lead copy: the running bank's files into the other bank.
#include <cstring>
#include <vector>

#include "FileCopyCalls.h"
#include "LogMessage.h"
#include "OsFile.h"
#include "OsFileInfo.h"
#include "PatchClient.h"
#include "OsNameMacros.h"

namespace {

constexpr const char* kCategory = "CORE_PATCH_CLNT";
// "LarkLauncher.Log.txt" and the earlier logs moved aside as "LarkLauncher.Log.<time>.txt".
constexpr const char* kLogFilePrefix = "LarkLauncher.Log.";

bool EndsWith(const std::string& text, const char* suffix) {
    size_t length = std::strlen(suffix);
    return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

}  // namespace

bool PatchClient::CopyDirectory(const std::string& source, const std::string& target, uint32_t& errorCode) {
    HY_LOG(LL_Status, kCategory, "PatchClient::CopyDirectory", "Duplicating files from %s to %s", source.c_str(),
           target.c_str());
    errorCode = 0;
    if (!HY_OS::IsDirectory(target) && !HY_OS::CreateDirectories(target)) {
        HY_LOG(LL_Error, kCategory, "PatchClient::CopyDirectory", "CopyDirectory: Fail to create directory: %s.",
               target.c_str());
        return false;
    }
    std::vector<HY_OS::DirectoryEntry> entries;
    if (!HY_OS::ListDirectory(source, entries)) {
        HY_LOG(LL_Error, kCategory, "PatchClient::CopyDirectory",
               "CopyDirectory: Invalid handle created on the FindFile operation");
        return false;
    }
    for (const HY_OS::DirectoryEntry& entry : entries) {
        if (entry.isDirectory) {
            if (!CopyDirectory(source + entry.name + "/", target + entry.name + "/", errorCode)) {
                HY_LOG(LL_Error, kCategory, "PatchClient::CopyDirectory", "Fail to copy subdirectory %s",
                       entry.name.c_str());
                return false;
            }
        } else if (!CopyNewerFile(source + entry.name, target + entry.name, errorCode)) {
            return false;
        }
    }
    return true;
}

bool PatchClient::CopyNewerFile(const std::string& source, const std::string& target, uint32_t& errorCode) {
    // Compressed downloads stay where they were fetched; a copy's temporary file left by a killed
    // run is no launcher file either; and each bank keeps its own launcher's log files, which a
    // copy would overwrite with the other launcher's.
    const std::string name = HY_OS::FileNamePart(source);
    if ((source.size() > 3 && EndsWith(source, ".gz")) || EndsWith(source, kCopyTempSuffix) ||
        name.rfind(kLogFilePrefix, 0) == 0) {
        return true;
    }
    int64_t sourceTime = HY_OS::LastWriteTimeMs(source);
    int64_t targetTime = HY_OS::LastWriteTimeMs(target);
    if (sourceTime >= 0 && targetTime >= 0 && targetTime >= sourceTime) return true;

    FileCopyCalls& calls = CopyCalls();
    for (int attempt = 1;; ++attempt) {
        uint32_t error = calls.CopyFile(source, target);
        if (error == SE_None) return true;
        errorCode = error;
        if (error != SE_SharingViolation || attempt == kCopyAttempts) {
            HY_LOG(LL_Error, kCategory, "PatchClient::CopyNewerFile", "Fail to copy file: %s. ErrorCode:%ld.",
                   source.c_str(), static_cast<long>(error));
            return false;
        }
        if (attempt == 1)
            HY_LOG(LL_Warning, kCategory, "PatchClient::CopyNewerFile", "Sharing violation while copying %s",
                   source.c_str());
        calls.SleepMs(kSharingRetryMs);
    }
}
