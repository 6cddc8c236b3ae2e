// The patcher's work on one package once the latest file list is loaded: which files are out of
// date, the CRC cache that vouches for files without reading them, and the download requests.
#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "Crc.h"
#include "DMLTable.h"
#include "LogMessage.h"
#include "OsFile.h"
#include "OsSysCalls.h"
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
    files.resize(table->RecordCount());
    std::string problem;
    size_t bad = table->RecordCount();
    for (size_t i = 0; i < table->RecordCount(); ++i) {
        const DMLRecord* record = table->RecordAt(i);
        if (!record) {
            problem = "the record is missing";
        } else if (ReadPackageFile(*record, files[i], problem)) {
            continue;
        }
        bad = i;
        break;
    }
    if (bad == table->RecordCount()) {
        // Two records for one target would fight over the file and its cache entry. Targets are
        // compared by a hash first (most are their source name, whose hash is known), then by text.
        std::vector<std::pair<uint32_t, uint32_t>> hashes;
        hashes.reserve(files.size());
        for (size_t i = 0; i < files.size(); ++i) {
            std::string_view target = files[i].Target();
            uint32_t hash = target.data() == files[i].srcFileName.data() ? files[i].nameHash
                                                                          : CrcUpdate(0, target.data(), target.size());
            hashes.emplace_back(hash, static_cast<uint32_t>(i));
        }
        std::sort(hashes.begin(), hashes.end());
        for (size_t i = 1; i < hashes.size() && bad == table->RecordCount(); ++i) {
            for (size_t j = i; j-- > 0 && hashes[j].first == hashes[i].first;) {
                if (files[hashes[i].second].Target() == files[hashes[j].second].Target()) {
                    bad = std::max(hashes[i].second, hashes[j].second);
                    problem = "another record has the same target " + std::string(files[hashes[i].second].Target());
                    break;
                }
            }
        }
    }
    if (bad == table->RecordCount()) return true;
    const DMLRecord* record = table->RecordAt(bad);
    const DMLField* src = record ? record->FindField("SrcFileName") : nullptr;
    std::string name = src ? src->ToStr() : std::string();
    // A NUL would cut the log line; it is shown as an escape.
    for (size_t at = name.find('\0'); at != std::string::npos; at = name.find('\0', at)) name.replace(at, 1, "\\0");
    HY_LOG(LL_Warning, kPatchCategory, fn, "Package %s, record %u ('%s') refused: %s", m_packageName.c_str(),
           static_cast<unsigned>(bad), name.c_str(), problem.c_str());
    return false;
}

bool Patcher::QueueFile(const PackageFile& file, const std::string& localPath) {
    HeldRequest request{FileUrl(m_urlPrefix, file.srcFileName, file.fileType, m_urlSuffix),
                        localPath,
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
    m_cacheDirty = true;
    // Saving after every file would rewrite the whole cache per file, quadratic in the package's
    // size; every few hundred milliseconds an interrupted run still keeps nearly all it finished.
    // Entries are only ever added during the downloads, so a saved snapshot never vouches for
    // more than the files it names were when they were checked or written.
    if (CacheClockMs() - m_cacheSavedAtMs >= kCacheSaveIntervalMs) SaveCache();
}

uint64_t Patcher::CacheClockMs() const { return HY_OS::SysCalls().MonotonicMs(); }

void Patcher::SaveCache() {
    m_cache.SaveCacheFile(m_packageName, m_cacheDirectory);
    m_cacheDirty = false;
    m_cacheSavedAtMs = CacheClockMs();
}

void Patcher::FlushCache() {
    if (m_cacheDirty) SaveCache();
}

void Patcher::DoDownloadPackageFiles() {
    const char* fn = "Patcher::DoDownloadPackageFiles";
    ResetCounters();
    m_heldRequests.clear();
    m_cache.LoadCacheFile(m_packageName, m_cacheDirectory);
    m_cacheDirty = false;
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
    std::string localPath;
    for (const PackageFile& file : files) {
        bool exists = false;
        int64_t length = 0;
        int64_t lastWriteMs = 0;
        std::string_view target = file.Target();
        if (!links.PathIsSafe(target, exists, length, lastWriteMs)) {
            HY_LOG(LL_Warning, kPatchCategory, fn, "Package %s: '%.*s' leads through a symbolic link",
                   m_packageName.c_str(), static_cast<int>(target.size()), target.data());
            FailAndStop(PF_ListUnreadable);
            return;
        }
        // The local path is the install directory followed directly by the target.
        localPath.assign(m_installDirectory).append(target);
        bool fetch = true;
        if (!(file.fileType == PFT_DynamicWad && m_validateWads)) {
            long entry = m_cache.FindEntry(file.nameHash, file.size, file.crc);
            // The entry vouches for the file only when the file has exactly the size and the
            // last-write time it had when the entry was written.
            if (entry >= 0 && exists && length < kFourGiB && length == static_cast<int64_t>(file.size)) {
                uint64_t entryTime = m_cache.At(static_cast<size_t>(entry)).lastWriteMs;
                if (entryTime != 0 && static_cast<int64_t>(entryTime) == lastWriteMs) {
                    m_cache.ConfirmEntry(entry);
                    HY_LOG(LL_DebugMed, kPatchCategory, fn, "DevMode skip %s", localPath.c_str());
                    OnFileSkipped(localPath);
                    fetch = false;
                }
            }
        }
        if (file.fileType == PFT_WadUpdate) HY_OS::DeleteFile(localPath + ".utd");
        if (fetch && !QueueFile(file, localPath)) {
            FailAndStop(PF_DownloadStartFailed, kUnableToStart);
            return;
        }
    }

    // Saved at once, before any download starts: entries that no longer vouch for their file
    // leave the file here.
    m_cache.DropUnconfirmed();
    SaveCache();

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
