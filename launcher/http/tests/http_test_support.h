// Helpers of the HTTP tests: a temporary directory, a client that records its notifications and
// answers failures as told, and pumping the calling thread's loop until a condition holds.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "FileRequest.h"
#include "HYHttpFileClient.h"
#include "OsEnv.h"
#include "OsHttp.h"
#include "TempDir.h"

using hytest::TempDir;

struct Notification {
    std::string what;  // "started", "current", "progress", "downloaded", "failed", "retry", "all"
    std::string localPath;
    DownloadFailure failure = DF_None;
    uint32_t bytesDone = 0;
    uint32_t bytesTransferred = 0;
    uint32_t crc = 0;
    uint64_t lastWriteTime = 0;
};

class RecordingClient : public HYHttpFileClient {
public:
    RecordingClient();
    void OnDownloadStarted(const std::string& url, const std::string& localPath, uint32_t tag) override;
    void OnFileCurrent(const std::string& url, const std::string& localPath, uint32_t size, uint32_t crc,
                       uint64_t lastWriteTime, uint32_t tag) override;
    int OnRetryQuery(const std::string& url, const std::string& localPath, uint32_t bytesDone,
                     uint32_t size, uint32_t tag) override;
    void OnFileDownloaded(const std::string& url, const std::string& localPath, uint32_t downloadType,
                          uint32_t bytesDone, uint32_t crc, uint32_t bytesTransferred,
                          uint64_t lastWriteTime, uint32_t tag) override;
    int OnFileDownloadFailed(DownloadFailure failure, const std::string& url,
                             const std::string& localPath, uint32_t tag) override;
    void OnAllFilesProcessed() override;

    // Answers to failures, used in order; once used up, failures are dropped.
    std::vector<int> m_answers;
    std::vector<Notification> m_notes;
    int m_allProcessed = 0;
    // Run inside the notifications, before they answer.
    std::function<void()> m_onFailure;
    std::function<void()> m_onStarted;

    // Runs the calling thread's loop until every queued file is processed (or the time runs out).
    bool RunUntilAllProcessed(int timeoutMs = 20000);
    // Queues a request with the common defaults and starts the client when needed.
    void Download(const std::string& url, const std::string& localPath, uint32_t type, uint32_t size,
                  uint32_t crc, uint32_t headerSize = 0, uint32_t compressedHeaderSize = 0,
                  uint32_t headerCrc = 0, bool force = false, bool validate = false);
    const Notification* Last(const std::string& what) const;
    size_t Count(const std::string& what) const;
};

// Pumps the calling thread's loop until `done` holds; false on time-out.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 20000);

std::string RandomBytes(size_t size, uint32_t seed);
std::string Gzip(const std::string& data);
uint32_t Crc(const std::string& data);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
bool Exists(const std::string& path);
// A host name that cannot resolve, refused by the resolver before any query leaves the machine.
std::string UnresolvableHost();

class CapturingReactor;
// True when a captured log text contains `part`.
bool LogHas(const CapturingReactor& log, const std::string& part);

// Sets the process's download rate limit for a scope and restores the one before.
class ScopedRateLimit {
public:
    explicit ScopedRateLimit(uint32_t kbps) : m_old(HY_OS::DownloadRateLimit()) {
        HY_OS::SetDownloadRateLimit(kbps);
    }
    ~ScopedRateLimit() { HY_OS::SetDownloadRateLimit(m_old); }
    ScopedRateLimit(const ScopedRateLimit&) = delete;
    ScopedRateLimit& operator=(const ScopedRateLimit&) = delete;

private:
    uint32_t m_old;
};

// Sets an environment variable for a scope and restores what was there.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::optional<std::string>& value) : m_name(std::move(name)) {
        std::string old;
        if (HY_OS::GetEnv(m_name, old)) m_old = old;
        if (value) HY_OS::SetEnv(m_name, *value);
        else HY_OS::UnsetEnv(m_name);
    }
    ~ScopedEnv() {
        if (m_old) HY_OS::SetEnv(m_name, *m_old);
        else HY_OS::UnsetEnv(m_name);
    }

private:
    std::string m_name;
    std::optional<std::string> m_old;
};
