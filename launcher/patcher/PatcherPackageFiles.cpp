// The patcher's work on one package once the latest file list is loaded: which files are out of
// date, the CRC cache that vouches for files without reading them, and the download requests.
#include <unordered_set>
#include <vector>

#include "DMLTable.h"
#include "LogMessage.h"
#include "OsFile.h"
#include "PackageFile.h"
#include "Patcher.h"

namespace {

constexpr const char* kUnableToStart = "Patch failed - Unable to start file download";
constexpr int64_t kFourGiB = int64_t{1} << 32;

}  // namespace

bool Patcher::ReadPackageTable(std::vector<PackageFile>& files) {
    const char* fn = "Patcher::DoDownloadPackageFiles";
    const DMLTable* table = m_list.FindPackage(m_packageName);
    files.clear();
    files.reserve(table->RecordCount());
    std::unordered_set<std::string> targets;
    targets.reserve(table->RecordCount());
    std::string problem;
    for (size_t i = 0; i < table->RecordCount(); ++i) {
        const DMLRecord* record = table->RecordAt(i);
        PackageFile file;
        if (!record) {
            problem = "the record is missing";
        } else if (ReadPackageFile(*record, m_installDirectory, file, problem)) {
            if (targets.insert(file.tarFileName).second) {
                files.push_back(std::move(file));
                continue;
            }
            problem = "another record has the same target " + file.tarFileName;
        }
        const DMLField* src = record ? record->FindField("SrcFileName") : nullptr;
        std::string name = src ? src->ToStr() : std::string();
        // A NUL would cut the log line; it is shown as an escape.
        for (size_t at = name.find('\0'); at != std::string::npos; at = name.find('\0', at))
            name.replace(at, 1, "\\0");
        HY_LOG(LL_Warning, kPatchCategory, fn, "Package %s, record %u ('%s') refused: %s",
               m_packageName.c_str(), static_cast<unsigned>(i), name.c_str(), problem.c_str());
        return false;
    }
    return true;
}

bool Patcher::QueueFile(const PackageFile& file) {
    HeldRequest request{FileUrl(m_urlPrefix, file.srcFileName, file.fileType, m_urlSuffix),
                        file.localPath,
                        DownloadTypeOf(file.fileType),
                        file.nameHash,
                        file.size,
                        file.crc,
                        file.headerSize,
                        file.compressedHeaderSize,
                        file.headerCrc};
    ++m_filesQueued;
    m_bytesQueued += file.size;
    // The client's queue is bounded; what does not fit waits here and is handed over as files
    // finish, so a package of any size can be patched.
    m_heldRequests.push_back(std::move(request));
    return TopUpRequests();
}

bool Patcher::TopUpRequests() {
    // Room stays free for the requests the sessions hand back for a retry.
    const uint32_t limit = static_cast<uint32_t>(kPendingCapacity) - static_cast<uint32_t>(SessionCount()) - 1;
    while (!m_heldRequests.empty() && PendingCount() < limit) {
        const HeldRequest& r = m_heldRequests.front();
        if (AddFile(r.url, r.localPath, r.downloadType, r.tag, r.size, r.crc, r.headerSize,
                    r.compressedHeaderSize, r.headerCrc, m_forceDownload, m_validateWads) != 0)
            return false;
        m_heldRequests.pop_front();
    }
    return true;
}

void Patcher::FeedCache(uint32_t tag, uint32_t size, uint32_t crc, uint64_t lastWriteTime) {
    m_cache.AddEntry(tag, size, crc, lastWriteTime);
    m_cache.SaveCacheFile(m_packageName, m_cacheDirectory);
}

void Patcher::DoDownloadPackageFiles() {
    const char* fn = "Patcher::DoDownloadPackageFiles";
    ResetCounters();
    m_heldRequests.clear();
    m_cache.LoadCacheFile(m_packageName, m_cacheDirectory);
    // Requests queued below wait until the whole package is queued; requests of an aborted
    // earlier run are dropped.
    HYHttpFileClient::Pause();
    HYHttpFileClient::Reset();

    if (!m_list.FindPackage(m_packageName)) {
        FailAndStop(PF_UnknownPackage);
        return;
    }
    // Every record is checked before anything is queued: a list with one bad record changes
    // nothing on disk.
    std::vector<PackageFile> files;
    if (!ReadPackageTable(files)) {
        FailAndStop(PF_ListUnreadable);
        return;
    }

    LinkGuard links(m_installDirectory);
    for (const PackageFile& file : files) {
        bool exists = false;
        int64_t length = 0;
        int64_t lastWriteMs = 0;
        if (!links.PathIsSafe(file.tarFileName, exists, length, lastWriteMs)) {
            HY_LOG(LL_Warning, kPatchCategory, fn, "Package %s: '%s' leads through a symbolic link",
                   m_packageName.c_str(), file.tarFileName.c_str());
            FailAndStop(PF_ListUnreadable);
            return;
        }
        bool fetch = true;
        if (!(file.fileType == PFT_DynamicWad && m_validateWads)) {
            long entry = m_cache.FindEntry(file.nameHash, file.size, file.crc);
            // The entry vouches for the file only when the file has exactly the size and the
            // last-write time it had when the entry was written.
            if (entry >= 0 && exists && length < kFourGiB && length == static_cast<int64_t>(file.size) &&
                m_cache.At(static_cast<size_t>(entry)).lastWriteMs != 0 &&
                static_cast<int64_t>(m_cache.At(static_cast<size_t>(entry)).lastWriteMs) == lastWriteMs) {
                m_cache.ConfirmEntry(entry);
                HY_LOG(LL_DebugMed, kPatchCategory, fn, "DevMode skip %s", file.localPath.c_str());
                OnFileSkipped(file.localPath);
                fetch = false;
            }
        }
        if (file.fileType == PFT_WadUpdate) HY_OS::DeleteFile(file.localPath + ".utd");
        if (fetch && !QueueFile(file)) {
            FailAndStop(PF_DownloadStartFailed, kUnableToStart);
            return;
        }
    }

    m_cache.DropUnconfirmed();
    m_cache.SaveCacheFile(m_packageName, m_cacheDirectory);

    if (m_filesQueued == 0) {
        HY_LOG(LL_Status, kPatchCategory, fn, "Patch completed.");
        HY_LOG(LL_Status, kPatchCategory, fn, "   Package name:      %s", m_packageName.c_str());
        HY_LOG(LL_Status, kPatchCategory, fn, "   Files altered:     0");
        OnPatchCompleted(0, m_bytesDownloaded, m_bytesSaved);
        PostTransition(ACT_StopPatcher, PS_Stopping);
        return;
    }
    if (StartHttpClient() != 0) FailAndStop(PF_DownloadStartFailed, kUnableToStart);
}
