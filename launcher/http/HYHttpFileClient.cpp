#include "HYHttpFileClient.h"

#include "HYEvent.h"
#include "HYHttpFileSession.h"
#include "LogMessage.h"

HYHttpFileClient::HYHttpFileClient(int sessionCount) {
    if (sessionCount < 1) sessionCount = 1;
    for (int i = 0; i < sessionCount; ++i) m_sessions.push_back(std::make_unique<HYHttpFileSession>(*this, i));
    m_indicationEvent = std::make_unique<CallbackEvent>([this] { IndicationEvent(); },
                                                        "HYHttpFileClient", __FILE__, __LINE__);
}

HYHttpFileClient::~HYHttpFileClient() {
    for (auto& session : m_sessions) {
        if (session->State() >= HSS_ThreadStarting) session->StopDownload();
    }
    for (auto& session : m_sessions) {
        HY_LOG(LL_Status, kHttpFileCategory, "HYHttpFileClient::~HYHttpFileClient",
               "Session: [%02d] Downloaded: %lld bytes", session->Index(),
               static_cast<long long>(session->BytesReceived()));
    }
    m_sessions.clear();
    m_indicationEvent.reset();
    m_internet.reset();
}

int HYHttpFileClient::Init(const std::string& agent, uint32_t accessType, uint32_t receiveTimeoutMs,
                           uint32_t sendTimeoutMs) {
    if (State() != HCS_Constructed) return 1;
    m_internet = HY_OS::HttpInternet::Open(agent, accessType);
    if (!m_internet) return 1;
    m_internet->SetReceiveTimeoutMs(receiveTimeoutMs);
    m_internet->SetSendTimeoutMs(sendTimeoutMs);
    for (auto& session : m_sessions) session->Init(m_internet);
    m_state = HCS_Initialised;
    LogTransferSettings();
    return 0;
}

void HYHttpFileClient::LogTransferSettings() const {
    const char* fn = "HYHttpFileClient::Init";
    const HY_OS::RateLimitSetting& setting = HY_OS::InitialRateLimitSetting();
    if (setting.present && !setting.valid)
        HY_LOG(LL_Warning, kHttpFileCategory, fn,
               "Ignoring LARK_MAX_DOWNLOAD_KBPS '%s': not a whole number of kilobytes per second",
               setting.text.c_str());
    uint32_t limit = HY_OS::DownloadRateLimit();
    if (limit != 0)
        HY_LOG(LL_Status, kHttpFileCategory, fn, "Download rate limit: %u KB/s", static_cast<unsigned>(limit));
    else
        HY_LOG(LL_Status, kHttpFileCategory, fn, "Download rate limit: none");
    std::string proxy = m_internet->UsesEnvironmentProxy() ? HY_OS::EnvironmentHttpProxy() : std::string();
    if (!proxy.empty())
        HY_LOG(LL_Status, kHttpFileCategory, fn, "Proxy: %s", HY_OS::ProxyWithoutCredentials(proxy).c_str());
    else
        HY_LOG(LL_Status, kHttpFileCategory, fn, "Proxy: none (direct connections)");
}

int HYHttpFileClient::AddFile(const std::string& url, const std::string& localPath,
                              uint32_t downloadType, uint32_t tag, uint32_t size, uint32_t crc,
                              uint32_t headerSize, uint32_t compressedHeaderSize,
                              uint32_t headerCrc, bool forceDownload, bool validateWads) {
    auto request = std::make_shared<FileRequest>();
    request->m_url = url;
    // Paths may come with Windows separators; here the slash is the separator.
    request->m_localPath = localPath;
    for (char& c : request->m_localPath)
        if (c == '\\') c = '/';
    request->m_downloadType = downloadType;
    request->m_tag = tag;
    request->m_size = size;
    request->m_crc = crc;
    request->m_headerSize = headerSize;
    request->m_compressedHeaderSize = compressedHeaderSize;
    request->m_headerCrc = headerCrc;
    request->m_forceDownload = forceDownload;
    request->m_validateWads = validateWads;
    if (!m_pending.Push(request)) return 1;
    ++m_pendingCount;
    if (State() == HCS_Running) {
        for (auto& session : m_sessions)
            if (session->State() == HSS_Ready) ProcessNextFile(session->Index());
    }
    return 0;
}

int HYHttpFileClient::Start() {
    int state = State();
    if (state == HCS_Initialised) {
        m_state = HCS_Running;
        int started = 0;
        for (auto& session : m_sessions)
            if (session->StartSession() == 0) ++started;
        if (started == 0) {
            m_state = HCS_Initialised;
            HY_LOG(LL_Error, kHttpFileCategory, "HYHttpFileClient::Start", "Fail to start HYHttpFileSession");
        }
        return 0;
    }
    if (state == HCS_Paused) {
        m_state = HCS_Running;
        for (auto& session : m_sessions)
            if (session->State() == HSS_Ready) ProcessNextFile(session->Index());
        return 0;
    }
    return 1;
}

int HYHttpFileClient::Pause() {
    int expected = HCS_Running;
    return m_state.compare_exchange_strong(expected, HCS_Paused) ? 0 : 1;
}

int HYHttpFileClient::Stop() {
    int state = State();
    if (state != HCS_Running && state != HCS_Paused) return 1;
    for (auto& session : m_sessions) session->StopDownload();
    m_state = HCS_Initialised;
    return 0;
}

void HYHttpFileClient::Reset() {
    m_pending.Clear();
    m_pendingCount = 0;
}

uint64_t HYHttpFileClient::SessionBytesReceived(int session) const {
    if (session < 0 || session >= SessionCount()) return 0;
    return m_sessions[static_cast<size_t>(session)]->BytesReceived();
}

void HYHttpFileClient::PushIndication(int kind, int session, const FileRequestRef& request) {
    bool queued;
    {
        std::lock_guard<std::mutex> lock(m_indicationLock);
        queued = m_indications.Push(HttpIndication{kind, session, request});
    }
    if (!queued) {
        HY_LOG(LL_Error, kHttpFileCategory, "HYHttpFileClient::PushIndication", "Fail to send file indication");
        return;
    }
    m_indicationEvent->Signal();
}

void HYHttpFileClient::ProcessNextFile(int sessionIndex) {
    if (sessionIndex < 0 || sessionIndex >= SessionCount()) return;
    HYHttpFileSession& session = *m_sessions[static_cast<size_t>(sessionIndex)];
    bool started = false;
    if (session.State() == HSS_Ready && !m_pending.Empty()) {
        FileRequestRef request = *m_pending.Pop();
        if (session.StartDownload(request) == 0) {
            ++m_activeCount;
            --m_pendingCount;
            started = true;
        } else {
            m_pending.Push(request);
        }
    }
    if (!started)
        HY_LOG(LL_Warning, kHttpFileCategory, "HYHttpFileClient::ProcessNextFile",
               "HTTP File Session can not process the next file");
}

void HYHttpFileClient::Requeue(const FileRequestRef& request) {
    request->m_status = FRS_Queued;
    if (!m_pending.Push(request)) {
        HY_LOG(LL_Error, kHttpFileCategory, "HYHttpFileClient::IndicationEvent",
               "Fail to add file to the download request queue");
        return;
    }
    ++m_pendingCount;
}

void HYHttpFileClient::IndicationEvent() {
    HttpIndication indication;
    bool more;
    {
        std::lock_guard<std::mutex> lock(m_indicationLock);
        auto next = m_indications.Pop();
        if (!next) return;
        indication = std::move(*next);
        more = !m_indications.Empty();
    }
    // Indications pushed while this event was queued were folded into one wake-up; handle them
    // one per pass.
    if (more) m_indicationEvent->Signal();

    const int kind = indication.kind;
    const FileRequestRef& request = indication.request;
    if (kind == IK_SessionReady) {
        // A paused client keeps its queue until it is started again.
        if (State() == HCS_Running) ProcessNextFile(indication.session);
        return;
    }
    if (!request) return;
    const FileRequest& r = *request;
    // Cleared however the handling below ends.
    struct Indicated {
        const FileRequest*& slot;
        ~Indicated() { slot = nullptr; }
    } indicated{m_indicated = &r};
    bool finished = kind == IK_FileCurrent || kind == IK_DownloadAborted || kind == IK_Downloaded ||
                    FailureOfIndication(kind) != DF_None;
    switch (kind) {
        case IK_DownloadStarted:
            OnDownloadStarted(r.m_url, r.m_localPath, r.m_tag);
            return;
        case IK_Progress:
            OnDownloadProgress(r.m_url, r.m_localPath, r.m_bytesDone, r.m_size, r.m_tag);
            return;
        case IK_FileCurrent:
            OnFileCurrent(r.m_url, r.m_localPath, r.m_size, r.m_crc, r.m_lastWriteTime, r.m_tag);
            break;
        case IK_Downloaded:
            OnFileDownloaded(r.m_url, r.m_localPath, r.m_downloadType, r.m_bytesDone, r.m_crc,
                             r.m_bytesTransferred, r.m_lastWriteTime, r.m_tag);
            break;
        default:
            break;
    }
    if (!finished) return;
    uint32_t active = m_activeCount.load();
    while (active > 0 && !m_activeCount.compare_exchange_weak(active, active - 1)) {
    }

    if (kind == IK_DownloadAborted || FailureOfIndication(kind) != DF_None) {
        int answer = kind == IK_DownloadAborted
                         ? OnRetryQuery(r.m_url, r.m_localPath, r.m_bytesDone, r.m_size, r.m_tag)
                         : OnFileDownloadFailed(FailureOfIndication(kind), r.m_url, r.m_localPath, r.m_tag);
        if (answer == RA_RetryFromScratch) {
            HY_LOG(LL_Status, kHttpFileCategory, "HYHttpFileClient::IndicationEvent",
                   "Retry without resuming (deleting tmp file)");
            HY_OS::DeleteFile(r.m_localPath + ".tmp");
            HY_OS::DeleteFile(r.m_localPath);
            request->ResetFailureCounters();
            Requeue(request);
        } else if (answer == RA_Retry) {
            Requeue(request);
        }
    }

    if (m_pendingCount.load() == 0 && m_activeCount.load() == 0) {
        OnAllFilesProcessed();
    } else if (State() == HCS_Running) {
        ProcessNextFile(indication.session);
    } else if (kind == IK_Downloaded) {
        HY_LOG(LL_Warning, kHttpFileCategory, "HYHttpFileClient::IndicationEvent", "HTTP File Session is busy");
    }
}
