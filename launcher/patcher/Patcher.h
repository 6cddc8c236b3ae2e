// The patcher: brings one package of the game up to the latest build. A run connects to the
// patch server, asks for the latest file list, downloads the list file over HTTP when the local
// copy is not current, disconnects, and then downloads every out-of-date file of the package.
//
// The patcher is at once a client session (the patch-server conversation) and an HTTP file client
// (the downloads). Every change of state is a transition (an action, then the new state) posted
// to the worker thread and run there one at a time, after the code that posted it has returned.
// The owner learns about files and the run's outcome through the virtual notifications; every
// run ends with exactly one OnPatcherStopped, after at most one OnPatchCompleted or
// OnPatchFailed. Everything runs on the thread that made the object.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <utility>

#include "ClientSession.h"
#include "CrcCache.h"
#include "DMLRecord.h"
#include "EventDispatcher.h"
#include "EventHandler.h"
#include "HYHttpFileClient.h"
#include "HYTimer.h"
#include "LatestFileList.h"
#include "PatcherTypes.h"
#include "PostedSteps.h"

struct PackageFile;

class Patcher : public ClientSession, public HYHttpFileClient {
public:
    static constexpr uint32_t kSessionSetting = 10000;
    static constexpr const char* kAgentName = "Halcyra Patcher";
    // During the downloads the CRC cache file is saved at most this often, and when the run
    // completes, fails or stops.
    static constexpr uint64_t kCacheSaveIntervalMs = 250;

    // `serverReplyTimeoutMs` is also the connect time-out; `internetTimeoutMs` the HTTP send and
    // receive time-out.
    Patcher(int httpSessionCount, uint32_t serverReplyTimeoutMs, uint32_t internetTimeoutMs);
    ~Patcher() override;

    // Starts a run for `packageName`: 0 accepted, 1 refused (a run is in progress). An empty
    // `cacheDirectory` means the install directory. The first start loads the message modules
    // from `dataRootPath` and initialises the HTTP client.
    int StartPatcher(const std::string& packageName, const std::string& installDirectory,
                     const std::string& dataRootPath, const std::string& host, uint16_t port,
                     uint32_t retryDelayMs, uint32_t retryLimit, const std::string& cacheDirectory = {});
    // Ends the run in progress: 0 when a stop was posted, 1 when there is no run.
    int StopPatcher();

    // Set by the owner before a run.
    void SetLocale(const std::string& locale) { m_locale = locale; }
    void SetDownloadFlags(bool forceDownload, bool validateWads) {
        m_forceDownload = forceDownload;
        m_validateWads = validateWads;
    }

    int GetPatcherState() const { return m_state; }
    const std::string& PackageName() const { return m_packageName; }
    const std::string& InstallDirectory() const { return m_installDirectory; }
    const std::string& CacheDirectory() const { return m_cacheDirectory; }
    const LatestFileList& FileList() const { return m_list; }
    const CrcCache& Cache() const { return m_cache; }
    uint32_t ListRequestCount() const { return m_listRequests; }
    uint32_t FilesQueued() const { return m_filesQueued; }
    uint32_t FilesProcessed() const { return m_filesProcessed; }
    uint32_t FilesAltered() const { return m_filesAltered; }
    uint64_t BytesQueued() const { return m_bytesQueued; }
    uint64_t BytesDownloaded() const { return m_bytesDownloaded; }
    uint64_t BytesSaved() const { return m_bytesSaved; }

    // Session callbacks.
    void ConnectComplete() override;
    void ConnectFailed() override;
    void AppCloseConnection() override;
    bool AppProcessMessage(const MsgBufferRef& buffer) override;

protected:
    // Notifications to the owner; paths are local target paths. The base versions do nothing.
    virtual void OnFileSkipped(const std::string& path) {}
    virtual void OnFileDownloadStarted(const std::string& path) {}
    virtual void OnFileUpToDate(const std::string& path) {}
    virtual void OnFileUpdated(const std::string& path) {}
    virtual void OnFileRetry(const std::string& path, uint32_t failures) {}
    // The percent is unsigned here; the batch patcher's own file progress (int) is a separate
    // notification of the same name.
    virtual void OnFileProgress(const std::string& path, uint32_t percent) {}
    virtual void OnTotalProgress(int percent) {}
    virtual void OnPatchCompleted(uint32_t filesAltered, uint64_t bytesDownloaded, uint64_t bytesSaved) {}
    virtual void OnPatchFailed(int failure, uint64_t bytesDownloaded, uint64_t bytesSaved) {}
    virtual void OnPatcherStopped() {}

    // Starts (or resumes) the HTTP client: 0, or 1 when it refuses. Tests replace it to make the
    // client refuse.
    virtual int StartHttpClient() { return HYHttpFileClient::Start(); }
    // The clock that spaces the CRC cache saves; tests replace it.
    virtual uint64_t CacheClockMs() const;

    // HTTP client notifications.
    void OnDownloadStarted(const std::string& url, const std::string& localPath, uint32_t tag) override;
    void OnFileCurrent(const std::string& url, const std::string& localPath, uint32_t size,
                       uint32_t crc, uint64_t lastWriteTime, uint32_t tag) override;
    void OnDownloadProgress(const std::string& url, const std::string& localPath,
                            uint32_t bytesDone, uint32_t size, uint32_t tag) override;
    void OnFileDownloaded(const std::string& url, const std::string& localPath, uint32_t downloadType,
                          uint32_t bytesDone, uint32_t crc, uint32_t bytesTransferred,
                          uint64_t lastWriteTime, uint32_t tag) override;
    int OnFileDownloadFailed(DownloadFailure failure, const std::string& url,
                             const std::string& localPath, uint32_t tag) override;
    void OnAllFilesProcessed() override;

    // Message handlers, by the event names of the message module.
    int MSG_LatestFileListV2(DMLRecord& record);
    int MSG_Ignored(DMLRecord& record) { return 1; }

private:
    using Transition = std::pair<PatcherAction, PatcherState>;

    void PostTransition(PatcherAction action, PatcherState newState);
    void ProcessTransition(const Transition& transition);
    void DoStartPatcher();
    void DoConnectPatchServer();
    void DoDisconnectPatchServer(PatcherState newState);
    void DoSendLatestFileList();
    void DoDownloadFiles();
    void DoDownloadPackageFiles();
    void DoStopPatcher();
    void ServerReplyTimedOut();

    // Logs the failure's line (`line`, or the code's own) and tells the owner, with the counters.
    void ReportFailure(PatchFailure failure, const char* line = nullptr, bool log = true);
    // Reports the failure and posts the stop.
    void FailAndStop(PatchFailure failure, const char* line = nullptr);
    void ResetCounters();
    bool SessionOpenOrConnecting() const;

    // Package files: reading and checking the table, queuing the requests.
    bool ReadPackageTable(std::vector<PackageFile>& files);
    bool QueueFile(const PackageFile& file, const std::string& localPath);
    // Hands requests kept back (the client's queue was full) to the client as room appears.
    bool TopUpRequests();
    // Records a package file found current or written in the cache; saves the cache when the
    // last save is long enough ago.
    void FeedCache(uint32_t tag, uint32_t size, uint32_t crc, uint64_t lastWriteTime);
    void SaveCache();
    // Saves the cache when it holds entries not saved yet.
    void FlushCache();
    void CountProcessedFile(uint32_t size, uint32_t bytesTransferred, bool altered);

    struct HeldRequest {
        std::string url;
        std::string localPath;
        uint32_t downloadType, tag, size, crc, headerSize, compressedHeaderSize, headerCrc;
    };

    // Construction values.
    const uint32_t m_replyTimeoutMs;
    const uint32_t m_internetTimeoutMs;

    // Run configuration.
    std::string m_packageName;
    std::string m_installDirectory;
    std::string m_dataRootPath;
    std::string m_cacheDirectory;
    std::string m_host;
    uint16_t m_port = 0;
    uint32_t m_retryDelayMs = 0;
    uint32_t m_retryLimit = 0;
    std::string m_locale = "English";
    bool m_forceDownload = false;
    bool m_validateWads = true;

    // Run state.
    PatcherState m_state = PS_Initial;
    uint32_t m_listRequests = 0;
    uint32_t m_consecutiveFailures = 0;
    DownloadFailure m_lastFailure = DF_None;
    bool m_replyHandled = false;      // the list reply of this connection was handled
    bool m_listFileProcessed = false;
    std::string m_urlPrefix;
    std::string m_urlSuffix;
    uint32_t m_filesQueued = 0;
    uint32_t m_filesProcessed = 0;
    uint32_t m_filesAltered = 0;
    uint64_t m_bytesQueued = 0;
    uint64_t m_bytesDownloaded = 0;
    uint64_t m_bytesSaved = 0;
    std::deque<HeldRequest> m_heldRequests;

    LatestFileList m_list;
    CrcCache m_cache;
    bool m_cacheDirty = false;
    uint64_t m_cacheSavedAtMs = 0;

    EventDispatcher m_dispatcher;
    EventHandler<Patcher, DMLRecord&> m_listReplyHandler;
    EventHandler<Patcher, DMLRecord&> m_rawTextHandler;
    EventHandler<Patcher, DMLRecord&> m_rawRecordHandler;
    EventHandler<Patcher, DMLRecord&> m_customDictHandler;
    EventHandler<Patcher, DMLRecord&> m_customRecordHandler;
    CallbackTimer m_replyTimer;
    PostedSteps<Transition> m_transitions;
};
