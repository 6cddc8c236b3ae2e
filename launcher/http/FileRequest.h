// One file to download: where it comes from, where it goes, what it must look like, and what
// happened to it so far. Shared between the client's queue, a download session and the
// indications; the last holder frees it. The progress counts are written by the session's thread
// while the owner's thread may read them for display, so they are atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

inline constexpr const char* kHttpFileCategory = "CORE_HTTP_FILE";

// How a request is fetched.
enum DownloadType : uint32_t {
    DT_WholeFile = 0,
    DT_Compressed = 1,
    DT_RangeSegment = 2,
    DT_WadArchive = 3,
    DT_DynamicWadArchive = 4,
};

enum FileRequestStatus : int {
    FRS_Queued = 0,
    FRS_Started = 1,
    FRS_Downloading = 2,
    FRS_Finished = 3,
};

// Why a download failed, as the owner is told.
enum DownloadFailure : int {
    DF_None = 0,
    DF_DiskFull = 1,
    DF_RequestFailed = 2,
    DF_HostNotFound = 3,
    DF_TransferFailed = 4,
    DF_VerifyFailed = 5,
    DF_FileError = 6,
};

struct FileRequest {
    FileRequest() = default;
    // A copy of every field as it stands now; indications carry such snapshots.
    FileRequest(const FileRequest& other);
    FileRequest& operator=(const FileRequest&) = delete;

    std::shared_ptr<FileRequest> Snapshot() const { return std::make_shared<FileRequest>(*this); }
    void ResetFailureCounters();

    std::atomic<int> m_status{FRS_Queued};
    std::string m_url;
    std::string m_localPath;
    uint32_t m_downloadType = DT_WholeFile;
    uint32_t m_size = 0;                  // expected size of the final file; 0 = unknown
    uint32_t m_crc = 0;                   // expected CRC of the final file; 0 = do not check
    uint32_t m_headerSize = 0;            // compressed: download size; WAD: header size; segment: length
    uint32_t m_compressedHeaderSize = 0;  // WAD: size of the gzip-compressed header
    uint32_t m_headerCrc = 0;             // WAD: CRC of the header bytes; segment: segment CRC
    std::atomic<uint32_t> m_bytesDone{0};
    std::atomic<uint32_t> m_actualCrc{0};
    std::atomic<uint32_t> m_bytesTransferred{0};
    std::atomic<uint16_t> m_openFailures{0};
    std::atomic<uint16_t> m_transferFailures{0};
    std::atomic<uint16_t> m_fileFailures{0};
    std::atomic<uint16_t> m_verifyFailures{0};
    uint32_t m_tag = 0;                   // the owner's value; for a segment its offset
    std::atomic<uint64_t> m_lastWriteTime{0};  // ms since 1970 when last found current or written
    bool m_forceDownload = false;
    bool m_validateWads = false;
};

using FileRequestRef = std::shared_ptr<FileRequest>;
