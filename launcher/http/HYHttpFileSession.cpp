#include "HYHttpFileSession.h"

#include "HYEvent.h"
#include "HYHttpFileClient.h"
#include "HYThread.h"
#include "LogMessage.h"

namespace {

// Whether the local file already is what the request describes.
bool LocalFileIsCorrect(const FileRequest& request) {
    HY_OS::File file = HY_OS::File::Open(request.m_localPath, HY_OS::FileMode::Read);
    switch (request.m_downloadType) {
        case DT_RangeSegment: {
            if (request.m_size == 0 || request.m_headerSize == 0 || request.m_headerCrc == 0) return false;
            uint32_t crc = 0;
            return file.IsOpen() && RangeCrc(file, request.m_tag, request.m_headerSize, crc) &&
                   crc == request.m_headerCrc;
        }
        case DT_DynamicWadArchive: {
            if (request.m_size == 0 || request.m_headerSize == 0 || request.m_headerCrc == 0) return false;
            uint32_t crc = 0;
            return file.IsOpen() && file.Length() == static_cast<int64_t>(request.m_size) &&
                   RangeCrc(file, 0, request.m_headerSize, crc) && crc == request.m_headerCrc;
        }
        default: {
            if (request.m_size == 0 || request.m_crc == 0) return false;
            uint32_t crc = 0;
            int64_t length = file.IsOpen() ? file.Length() : -1;
            return length == static_cast<int64_t>(request.m_size) && length < (int64_t{1} << 32) &&
                   RangeCrc(file, 0, length, crc) && crc == request.m_crc;
        }
    }
}

}  // namespace

HYHttpFileSession::HYHttpFileSession(HYHttpFileClient& client, int index)
    : m_client(client),
      m_index(index),
      m_downloadEngine(*this),
      m_comprEngine(*this),
      m_segEngine(*this),
      m_wadEngine(*this),
      m_dynWadEngine(*this),
      m_validateEngine(*this) {}

HYHttpFileSession::~HYHttpFileSession() {
    if (m_thread) {
        m_abort = true;
        m_thread->Stop(true);
        m_thread.reset();
    }
    if (m_engine) m_engine->Close();
}

void HYHttpFileSession::Init(const std::shared_ptr<HY_OS::HttpInternet>& internet) {
    m_internet = internet;
    m_state = HSS_Initialised;
}

int HYHttpFileSession::ThreadStarted(void* context) {
    auto* self = static_cast<HYHttpFileSession*>(context);
    self->m_event = std::make_unique<CallbackEvent>([self] { self->OnSessionEvent(); },
                                                    "HYHttpFileSession", __FILE__, __LINE__);
    self->m_state = HSS_Ready;
    self->SendIndication(IK_SessionReady, nullptr);
    std::lock_guard<std::mutex> lock(self->m_lock);
    if (self->m_request) self->m_event->Signal();
    return 0;
}

int HYHttpFileSession::ThreadStopping(void* context) {
    auto* self = static_cast<HYHttpFileSession*>(context);
    self->m_event.reset();
    return 0;
}

int HYHttpFileSession::StartSession() {
    if (State() != HSS_Initialised) return 1;
    m_state = HSS_ThreadStarting;
    m_abort = false;
    m_thread = std::make_shared<HYThread>("HttpFileSession", &ThreadStarted, &ThreadStopping, this);
    if (m_thread->Start(true, false) != 0) {
        HY_LOG(LL_Error, kHttpFileCategory, "HYHttpFileSession::StartSession", "Fail to start HYThread");
        m_thread.reset();
        m_state = HSS_Initialised;
        return 1;
    }
    return 0;
}

int HYHttpFileSession::StartDownload(const FileRequestRef& request) {
    int state = State();
    std::unique_lock<std::mutex> lock(m_lock);
    // A session holds one request at a time: a second one handed over before the thread took up
    // the first would replace it.
    if ((state != HSS_Ready && state != HSS_ThreadStarting) || m_request || !request) {
        lock.unlock();
        HY_LOG(LL_Error, kHttpFileCategory, "HYHttpFileSession::StartDownload",
               "HYHttpFileSession::StartDownload failed %d", state);
        return 1;
    }
    m_request = request;
    request->m_status = FRS_Started;
    request->m_bytesDone = 0;
    if (m_event) m_event->Signal();
    return 0;
}

void HYHttpFileSession::Signal() {
    if (m_event) m_event->Signal();
}

void HYHttpFileSession::SendIndication(int kind, const FileRequestRef& request) {
    m_client.PushIndication(kind, m_index, request);
}

void HYHttpFileSession::AddBytesReceived(uint64_t bytes) {
    m_bytesReceived.fetch_add(bytes, std::memory_order_relaxed);
}

HttpEngine* HYHttpFileSession::ChooseEngine(FileRequest& request, bool& current) {
    current = false;
    if (!request.m_forceDownload && LocalFileIsCorrect(request)) {
        int64_t written = HY_OS::LastWriteTimeMs(request.m_localPath);
        if (written > 0) request.m_lastWriteTime = static_cast<uint64_t>(written);
        current = true;
        if (request.m_downloadType != DT_DynamicWadArchive || !request.m_validateWads) return nullptr;
    }
    uint32_t type = request.m_downloadType;
    if (type == DT_Compressed && request.m_headerSize != 0) return &m_comprEngine;
    if (type == DT_RangeSegment) return &m_segEngine;
    if (type == DT_WadArchive || type == DT_DynamicWadArchive) {
        auto local = std::make_unique<WadFile>(request.m_localPath);
        if (request.m_size > kMinWadSizeForUpdate && request.m_headerSize != 0 && !local->Open(0))
            local = std::make_unique<WadFile>(request.m_localPath);  // read failed: no elements
        bool hasElements = local->ElementCount() > 0;
        if (type == DT_WadArchive && hasElements) {
            m_wadEngine.SetLocalArchive(std::move(local));
            return &m_wadEngine;
        }
        if (type == DT_DynamicWadArchive) {
            if (current && hasElements) {
                m_validateEngine.SetLocalArchive(std::move(local));
                return &m_validateEngine;
            }
            m_dynWadEngine.SetLocalArchive(std::move(local));
            return &m_dynWadEngine;
        }
    }
    return &m_downloadEngine;
}

void HYHttpFileSession::EndRequest(int kind, const FileRequestRef& snapshot) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        // A stop in progress reports the request itself.
        if (m_abort) return;
        m_request.reset();
        m_engine = nullptr;
        m_state = HSS_Ready;
    }
    snapshot->m_status = FRS_Finished;
    SendIndication(kind, snapshot);
}

void HYHttpFileSession::OnSessionEvent() {
    FileRequestRef request;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_abort) return;
        request = m_request;
    }
    if (!request) return;
    switch (State()) {
        case HSS_Ready:
            m_state = HSS_RequestStarted;
            SendIndication(IK_DownloadStarted, request);
            Signal();
            return;
        case HSS_RequestStarted: {
            bool current = false;
            HttpEngine* engine = ChooseEngine(*request, current);
            if (!engine) {
                FileRequestRef snapshot = request->Snapshot();
                snapshot->m_bytesDone = request->m_size;
                EndRequest(IK_FileCurrent, snapshot);
                return;
            }
            m_engine = engine;
            request->m_status = FRS_Downloading;
            engine->Start(request);
            m_state = HSS_Downloading;
            Signal();
            return;
        }
        case HSS_Downloading: {
            DownloadFailure failure = DF_None;
            EngineStepResult result = m_engine->Step(failure);
            if (result == ESR_Continue) {
                Signal();
                return;
            }
            if (result == ESR_Done)
                EndRequest(IK_Downloaded, request->Snapshot());
            else
                EndRequest(IndicationOfFailure(failure), request->Snapshot());
            return;
        }
        default:
            return;
    }
}

void HYHttpFileSession::StopDownload() {
    FileRequestRef request;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_abort = true;
        request = m_request;
    }
    if (m_thread) {
        m_thread->Stop(true);
        m_thread.reset();
    }
    // The thread has ended: the engine is ours to close.
    if (m_engine) m_engine->Close();
    m_engine = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_request.reset();
        m_abort = false;
    }
    if (request) SendIndication(IK_DownloadAborted, request->Snapshot());
    SendIndication(IK_SessionStopped, nullptr);
    m_state = HSS_Initialised;
}
