// The HTTP file client: a queue of files to download, handed one at a time to download sessions
// that each run on a thread of their own. The sessions report back through a bounded indication
// queue that the owner's worker thread drains, and the owner learns about every file through the
// virtual notifications, all called on that thread. The owner decides about retries.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "BoundedRing.h"
#include "FileRequest.h"
#include "OsHttp.h"

class CallbackEvent;
class HYHttpFileSession;

enum HttpClientState : int {
    HCS_Constructed = 0,
    HCS_Initialised = 1,
    HCS_Running = 2,
    HCS_Paused = 3,
};

// Answers of the owner to an aborted or failed download.
enum RetryAnswer : int {
    RA_Drop = 0,
    RA_Retry = 1,               // queue again; the temporary file is resumed where it allows
    RA_RetryFromScratch = 2,    // delete "<local path>.tmp" and the local file, then queue again
};

struct HttpIndication {
    int kind = 0;
    int session = 0;
    FileRequestRef request;
};

class HYHttpFileClient {
public:
    static constexpr size_t kIndicationCapacity = 1000;
    static constexpr size_t kPendingCapacity = 10000;

    // Must be made on the owner's worker thread, which receives the notifications.
    explicit HYHttpFileClient(int sessionCount = 1);
    virtual ~HYHttpFileClient();
    HYHttpFileClient(const HYHttpFileClient&) = delete;
    HYHttpFileClient& operator=(const HYHttpFileClient&) = delete;

    // Opens the internet handle (access type 0: proxy settings of the system) and sets the
    // time-outs in milliseconds: 0, or 1 unless just constructed. Logs the download rate limit
    // and the proxy in force (without its credentials).
    int Init(const std::string& agent, uint32_t accessType, uint32_t receiveTimeoutMs,
             uint32_t sendTimeoutMs);
    // Queues a file: 0, or 1 when the pending queue is full.
    int AddFile(const std::string& url, const std::string& localPath, uint32_t downloadType,
                uint32_t tag, uint32_t size, uint32_t crc, uint32_t headerSize,
                uint32_t compressedHeaderSize, uint32_t headerCrc, bool forceDownload,
                bool validateWads);
    int Start();
    int Pause();
    int Stop();
    void Reset();

    int State() const { return m_state.load(std::memory_order_acquire); }
    uint32_t PendingCount() const { return m_pendingCount.load(); }
    uint32_t ActiveCount() const { return m_activeCount.load(); }
    int SessionCount() const { return static_cast<int>(m_sessions.size()); }
    uint64_t SessionBytesReceived(int session) const;

    // Notifications, called on the owner's thread; the base versions do nothing.
    virtual void OnDownloadStarted(const std::string& url, const std::string& localPath, uint32_t tag) {}
    virtual void OnFileCurrent(const std::string& url, const std::string& localPath, uint32_t size,
                               uint32_t crc, uint64_t lastWriteTime, uint32_t tag) {}
    // Answers a RetryAnswer for a download aborted by Stop.
    virtual int OnRetryQuery(const std::string& url, const std::string& localPath, uint32_t bytesDone,
                             uint32_t size, uint32_t tag) {
        return RA_Retry;
    }
    virtual void OnDownloadProgress(const std::string& url, const std::string& localPath,
                                    uint32_t bytesDone, uint32_t size, uint32_t tag) {}
    virtual void OnFileDownloaded(const std::string& url, const std::string& localPath,
                                  uint32_t downloadType, uint32_t bytesDone, uint32_t crc,
                                  uint32_t bytesTransferred, uint64_t lastWriteTime, uint32_t tag) {}
    // Answers a RetryAnswer for a failed download.
    virtual int OnFileDownloadFailed(DownloadFailure failure, const std::string& url,
                                     const std::string& localPath, uint32_t tag) {
        return RA_Retry;
    }
    virtual void OnAllFilesProcessed() {}

    // Handles the oldest indication (runs on the owner's thread when the queue's event fires).
    void IndicationEvent();

    // For the sessions: queues an indication and wakes the owner's thread.
    void PushIndication(int kind, int session, const FileRequestRef& request);
    // Hands the oldest pending request to the session when it is ready.
    void ProcessNextFile(int session);

protected:
    // The request whose indication is being handled while a notification runs, else nullptr
    // (the owner reads its failure counters, for instance).
    const FileRequest* IndicatedRequest() const { return m_indicated; }

private:
    void LogTransferSettings() const;

    void Requeue(const FileRequestRef& request);

    std::atomic<int> m_state{HCS_Constructed};
    std::shared_ptr<HY_OS::HttpInternet> m_internet;
    std::vector<std::unique_ptr<HYHttpFileSession>> m_sessions;
    std::mutex m_indicationLock;
    BoundedRing<HttpIndication> m_indications{kIndicationCapacity};
    std::unique_ptr<CallbackEvent> m_indicationEvent;
    BoundedRing<FileRequestRef> m_pending{kPendingCapacity};
    std::atomic<uint32_t> m_pendingCount{0};
    std::atomic<uint32_t> m_activeCount{0};
    const FileRequest* m_indicated = nullptr;
};

// Requests `url` once with its own short-lived internet handle and discards the answer; used to
// report events to web servers. Answers 0 when the server answered, 1 otherwise.
int PingUrl(const std::string& url);
