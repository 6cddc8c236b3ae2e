// One download session: a thread of its own that takes one request at a time from the client,
// decides whether the local file is already correct, and otherwise runs the engine the request's
// download type calls for, one step per pass of its loop, reporting to the client through
// indications.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "ComprDownloadEngine.h"
#include "DownloadEngine.h"
#include "DynWadDownloadEngine.h"
#include "DynWadValidateEngine.h"
#include "FileRequest.h"
#include "HttpEngine.h"
#include "SegDownloadEngine.h"
#include "WadDownloadEngine.h"

class CallbackEvent;
class HYHttpFileClient;
class HYThread;

enum HttpSessionState : int {
    HSS_Constructed = 0,
    HSS_Initialised = 1,
    HSS_ThreadStarting = 2,
    HSS_Ready = 3,
    HSS_RequestStarted = 4,
    HSS_Downloading = 5,
};

class HYHttpFileSession : public EngineHost {
public:
    // A local WAD archive is read for an update only when the request is larger than this.
    static constexpr uint32_t kMinWadSizeForUpdate = 10240;

    HYHttpFileSession(HYHttpFileClient& client, int index);
    ~HYHttpFileSession() override;
    HYHttpFileSession(const HYHttpFileSession&) = delete;
    HYHttpFileSession& operator=(const HYHttpFileSession&) = delete;

    // Takes the client's internet handle; the session is then initialised.
    void Init(const std::shared_ptr<HY_OS::HttpInternet>& internet);
    // Creates and starts the session's thread: 0, or 1 when it could not be started.
    int StartSession();
    // Hands the session a request: 0 accepted, 1 refused (the session is busy or not running).
    int StartDownload(const FileRequestRef& request);
    // Aborts the running request (reported with indication 4), stops the thread, reports
    // indication 1 and leaves the session initialised.
    void StopDownload();

    int Index() const { return m_index; }
    int State() const { return m_state.load(std::memory_order_acquire); }
    uint64_t BytesReceived() const { return m_bytesReceived.load(std::memory_order_relaxed); }

    // EngineHost
    void SendIndication(int kind, const FileRequestRef& request) override;
    void AddBytesReceived(uint64_t bytes) override;
    const std::shared_ptr<HY_OS::HttpInternet>& Internet() const override { return m_internet; }
    const std::atomic<bool>* AbortFlag() const override { return &m_abort; }

private:
    static int ThreadStarted(void* context);
    static int ThreadStopping(void* context);
    // One step of the session on its thread.
    void OnSessionEvent();
    void Signal();
    // Picks the engine for a started request; nothing when the local file is already correct.
    HttpEngine* ChooseEngine(FileRequest& request, bool& current);
    // Ends the running request: the session is ready again, then the client is told.
    void EndRequest(int kind, const FileRequestRef& snapshot);

    HYHttpFileClient& m_client;
    int m_index;
    std::shared_ptr<HY_OS::HttpInternet> m_internet;
    std::atomic<int> m_state{HSS_Constructed};
    std::shared_ptr<HYThread> m_thread;
    std::unique_ptr<CallbackEvent> m_event;  // made and destroyed on the session's thread
    std::mutex m_lock;                        // guards m_request and m_abort's hand-over
    FileRequestRef m_request;
    std::atomic<bool> m_abort{false};
    std::atomic<uint64_t> m_bytesReceived{0};

    DownloadEngine m_downloadEngine;
    ComprDownloadEngine m_comprEngine;
    SegDownloadEngine m_segEngine;
    WadDownloadEngine m_wadEngine;
    DynWadDownloadEngine m_dynWadEngine;
    DynWadValidateEngine m_validateEngine;
    HttpEngine* m_engine = nullptr;
};
