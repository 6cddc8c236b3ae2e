// The frame every download engine runs in. A session drives its engine one step at a time:
// started (is there room on the disk?), open (the engine's own open operation), then transfer
// steps until the engine is done or fails. Failures are reported as result classes, which the
// frame turns into a failure kind and a counted failure of the request.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FileRequest.h"
#include "OsFile.h"
#include "OsHttp.h"

// Result classes of an engine's operations.
enum EngineClass : int {
    EC_Ok = 0,
    EC_HostNotFound = 1,
    EC_RequestFailed = 2,
    EC_ReadFailed = 3,
    EC_NoSpace = 4,          // no space or memory
    EC_SharingViolation = 5,
    EC_FileError = 6,        // any other file error
    EC_Mismatch = 7,         // size or CRC wrong
};

// The class of a system error number: no space or memory, a file in use, or another file error.
int ClassOfSystemError(int error);

// Indication kinds a session sends to its client.
enum IndicationKind : int {
    IK_SessionReady = 0,
    IK_SessionStopped = 1,
    IK_DownloadStarted = 2,
    IK_FileCurrent = 3,
    IK_DownloadAborted = 4,
    IK_Opening = 5,
    IK_Opened = 6,
    IK_Progress = 7,
    IK_Downloaded = 8,
    IK_RequestFailed = 9,
    IK_HostNotFound = 10,
    IK_TransferFailed = 11,
    IK_DiskFull = 12,
    IK_FileError = 13,
    IK_VerifyFailed = 14,
};

// The failure indication of a failure kind, and back.
int IndicationOfFailure(DownloadFailure failure);
DownloadFailure FailureOfIndication(int kind);

// Where an engine sends its indications and counts received bytes: its session.
class EngineHost {
public:
    virtual ~EngineHost() = default;
    virtual void SendIndication(int kind, const FileRequestRef& request) = 0;
    virtual void AddBytesReceived(uint64_t bytes) = 0;
    virtual const std::shared_ptr<HY_OS::HttpInternet>& Internet() const = 0;
    // Raised while the session is being stopped; blocking network calls end early.
    virtual const std::atomic<bool>* AbortFlag() const = 0;
};

enum EngineStepResult { ESR_Continue, ESR_Done, ESR_Failed };

class HttpEngine {
public:
    enum State { ES_Idle = 0, ES_Started = 1, ES_Open = 2, ES_Transferring = 3 };
    static constexpr size_t kBlockSize = 131070;
    static constexpr int64_t kDiskReserve = 1048576;
    static constexpr uint32_t kProgressIntervalMs = 250;

    explicit HttpEngine(EngineHost& host);
    virtual ~HttpEngine();
    HttpEngine(const HttpEngine&) = delete;
    HttpEngine& operator=(const HttpEngine&) = delete;

    // Takes the request and puts the engine in the started state.
    void Start(const FileRequestRef& request);
    // One step. On ESR_Failed `failure` holds the kind, the request's counter is raised and
    // everything is closed.
    EngineStepResult Step(DownloadFailure& failure);
    // Closes the network handles and files of the running attempt.
    virtual void Close();
    int State() const { return m_state; }
    const FileRequestRef& Request() const { return m_request; }

protected:
    // The engine's open operation: 0 or a result class.
    virtual int Open() = 0;
    // One transfer step: 0 with `done` telling whether the download is complete, or a class.
    virtual int Transfer(bool& done) = 0;

    // Counts bytes received from the network for the session and the request.
    void CountReceived(uint64_t bytes);
    // Creates the directories leading to `path`; errno on failure, 0 on success.
    static int CreateDirectoriesFor(const std::string& path);

    // The transfer buffer of kBlockSize bytes, made when a transfer first needs it: a client
    // keeps several engines, most of which never transfer anything.
    char* Buffer();

    EngineHost& m_host;
    FileRequestRef m_request;
    HY_OS::File m_file;

private:
    std::unique_ptr<char[]> m_buffer;
    int m_state = ES_Idle;
    uint64_t m_progressStartMs = 0;
};

// The CRC of a whole file from its start; false when it cannot be read.
bool FileCrc(const std::string& path, uint32_t& crc, int64_t* length = nullptr);
// The CRC of `length` bytes at `offset` of an open file; false when they cannot all be read.
bool RangeCrc(HY_OS::File& file, int64_t offset, int64_t length, uint32_t& crc);
