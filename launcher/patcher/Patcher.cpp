#include "Patcher.h"

#include "HYAssert.h"
#include "LogMessage.h"
#include "MessageManager.h"
#include "OsFile.h"
#include "OsTime.h"

namespace {

constexpr const char* kListDownloadFailed = "Patch failed - Error downloading the Latest Build List file";
// Received messages are decoded with the highest access level: none is refused for it.
constexpr uint8_t kAccessLevel = 255;
constexpr const char* kLocaleUnsupported = "ERROR1";

struct FailureLine {
    const char* text;
    int level;
};

FailureLine LineOf(PatchFailure failure) {
    switch (failure) {
        case PF_ConnectFailed: return {"Patch failed - Error connecting Patch Server", LL_Warning};
        case PF_ServerTimeout: return {"Patch failed - Error accessing Patch Server", LL_Warning};
        case PF_ConnectionLost: return {"Patch failed - Error maintain server conn", LL_Warning};
        case PF_DownloadStartFailed: return {"Patch failed - Unable to start file download", LL_Warning};
        case PF_FileDownloadFailed: return {"Patch failed - Error downloading file", LL_Warning};
        case PF_UnknownPackage: return {"Patch failed - Unknown package name", LL_Warning};
        case PF_ListHostNotFound:
        case PF_ListRequestFailed:
        case PF_ListTransferFailed:
        case PF_ListVerifyFailed: return {kListDownloadFailed, LL_Warning};
        case PF_ListUnreadable: return {"Patch failed - Error processing latest build list", LL_Warning};
        case PF_DiskFull: return {"Patch failed - Disk is full", LL_Error};
        case PF_FileLocked: return {"Patch failed - File is locked", LL_Error};
        default: return {nullptr, LL_Warning};
    }
}

std::string TextField(const DMLRecord& record, const char* name) {
    const DMLField* field = record.FindField(name);
    return field ? field->ToStr() : std::string();
}

uint32_t UIntField(const DMLRecord& record, const char* name) {
    const DMLField* field = record.FindField(name);
    return field ? field->GetUInt() : 0;
}

}  // namespace

Patcher::Patcher(int httpSessionCount, uint32_t serverReplyTimeoutMs, uint32_t internetTimeoutMs)
    : ClientSession(kSessionSetting),
      HYHttpFileClient(httpSessionCount),
      m_replyTimeoutMs(serverReplyTimeoutMs),
      m_internetTimeoutMs(internetTimeoutMs),
      m_listReplyHandler("MSG_LatestFileListV2", this, &Patcher::MSG_LatestFileListV2),
      m_rawTextHandler("MSG_RawText", this, &Patcher::MSG_Ignored),
      m_rawRecordHandler("MSG_RawRecord", this, &Patcher::MSG_Ignored),
      m_customDictHandler("MSG_CustomDict", this, &Patcher::MSG_Ignored),
      m_customRecordHandler("MSG_CustomRecord", this, &Patcher::MSG_Ignored),
      m_replyTimer([this] { ServerReplyTimedOut(); }, "Patcher::ServerReplyTimedOut", __FILE__, __LINE__),
      m_transitions([this](const Transition& t) { ProcessTransition(t); }, "Patcher::ProcessTransition") {
    SetName("Patcher");
    m_dispatcher.RegisterHandler(m_listReplyHandler);
    m_dispatcher.RegisterHandler(m_rawTextHandler);
    m_dispatcher.RegisterHandler(m_rawRecordHandler);
    m_dispatcher.RegisterHandler(m_customDictHandler);
    m_dispatcher.RegisterHandler(m_customRecordHandler);
}

Patcher::~Patcher() {
    m_replyTimer.Stop();
    FlushCache();
}

int Patcher::StartPatcher(const std::string& packageName, const std::string& installDirectory,
                          const std::string& dataRootPath, const std::string& host, uint16_t port,
                          uint32_t retryDelayMs, uint32_t retryLimit, const std::string& cacheDirectory) {
    if (m_state != PS_Initial && m_state != PS_Stopped) {
        HY_LOG(LL_Warning, kPatchCategory, "Patcher::StartPatcher",
               "Start Patcher (PkgName: %s) - Wrong state %d", packageName.c_str(), m_state);
        return 1;
    }
    if (m_state == PS_Initial) {
        MessageManager& messages = MessageManager::GetSingleton();
        HY_ASSERT(messages.LoadMessageModule(dataRootPath, "BaseMessages"));
        HY_ASSERT(messages.LoadMessageModule(dataRootPath, "ExtendedBaseMessages"));
        HY_ASSERT(messages.LoadMessageModule(dataRootPath, "PatchMessages"));
        HYHttpFileClient::Init(kAgentName, 0, m_internetTimeoutMs, m_internetTimeoutMs);
    }
    m_state = PS_Starting;
    m_packageName = packageName;
    // File paths are the install directory followed directly by the names of the list, so it
    // must end with a separator.
    m_installDirectory = installDirectory;
    if (!m_installDirectory.empty() && m_installDirectory.back() != '/' && m_installDirectory.back() != '\\')
        m_installDirectory += '/';
    m_dataRootPath = dataRootPath;
    m_cacheDirectory = cacheDirectory.empty() ? m_installDirectory : cacheDirectory;
    m_host = host;
    m_port = port;
    m_retryDelayMs = retryDelayMs;
    m_retryLimit = retryLimit;
    m_listRequests = 0;
    m_consecutiveFailures = 0;
    m_lastFailure = DF_None;
    PostTransition(ACT_StartPatcher, PS_Started);
    return 0;
}

int Patcher::StopPatcher() {
    if (m_state == PS_Initial || m_state == PS_Stopped) {
        HY_LOG(LL_Warning, kPatchCategory, "Patcher::StopPatcher", "Stop Patcher - Wrong state %d", m_state);
        return 1;
    }
    PostTransition(ACT_StopPatcher, PS_Stopping);
    return 0;
}

void Patcher::PostTransition(PatcherAction action, PatcherState newState) {
    m_transitions.Post(Transition{action, newState});
}

void Patcher::ProcessTransition(const Transition& transition) {
    auto [action, newState] = transition;
    switch (action) {
        case ACT_StartPatcher: DoStartPatcher(); break;
        case ACT_ConnectPatchServer: DoConnectPatchServer(); break;
        case ACT_DisconnectPatchServer: DoDisconnectPatchServer(newState); break;
        case ACT_SendLatestFileList: DoSendLatestFileList(); break;
        case ACT_DownloadFiles: DoDownloadFiles(); break;
        case ACT_DownloadPackageFiles:
            if (m_packageName.empty()) {
                PostTransition(ACT_StopPatcher, PS_Stopping);
                break;
            }
            DoDownloadPackageFiles();
            break;
        case ACT_StopPatcher:
            FlushCache();
            // A stop that finds the run already over leaves it over.
            if (m_state == PS_Stopped) return;
            DoStopPatcher();
            break;
        case ACT_PatcherStopped:
            FlushCache();
            m_replyTimer.Stop();
            // A run ends once: a second report of its end (a stop racing a failure) is dropped.
            if (m_state == PS_Stopped) return;
            m_state = PS_Stopped;
            OnPatcherStopped();
            return;
    }
    m_state = newState;
}

void Patcher::ResetCounters() {
    m_filesQueued = 0;
    m_filesProcessed = 0;
    m_filesAltered = 0;
    m_bytesQueued = 0;
    m_bytesDownloaded = 0;
    m_bytesSaved = 0;
}

bool Patcher::SessionOpenOrConnecting() const {
    int state = ClientSession::State();
    return state == SS_Connecting || state == SS_Connected || state == SS_Established;
}

void Patcher::ReportFailure(PatchFailure failure, const char* line, bool log) {
    FlushCache();
    FailureLine standard = LineOf(failure);
    const char* text = line ? line : standard.text;
    if (log && text)
        HY_LOG(standard.level, kPatchCategory, "Patcher::ReportFailure", "%s", text);
    OnPatchFailed(failure, m_bytesDownloaded, m_bytesSaved);
}

void Patcher::FailAndStop(PatchFailure failure, const char* line) {
    ReportFailure(failure, line);
    PostTransition(ACT_StopPatcher, PS_Stopping);
}

void Patcher::DoStartPatcher() {
    if (m_list.IsLoaded()) {
        ResetCounters();
        PostTransition(ACT_DownloadPackageFiles, PS_DownloadingFiles);
    } else {
        PostTransition(ACT_ConnectPatchServer, PS_Connecting);
    }
}

void Patcher::DoConnectPatchServer() {
    ResetCounters();
    m_replyHandled = false;
    HY_LOG(LL_Status, kPatchCategory, "Patcher::DoConnectPatchServer", "Connecting to Patch Server");
    SetServer(m_host, m_port);
    if (!StartConnect(m_replyTimeoutMs)) {
        ReportFailure(PF_ConnectFailed);
        PostTransition(ACT_PatcherStopped, PS_Stopped);
    }
}

void Patcher::DoDisconnectPatchServer(PatcherState newState) {
    HY_LOG(LL_Status, kPatchCategory, "Patcher::ProcessTransition", "ProcessTransition: ACT_DisconnectPatchServer");
    if (SessionOpenOrConnecting()) {
        Close(true);
        return;
    }
    HY_LOG(LL_Status, kPatchCategory, "Patcher::ProcessTransition", "Patch Server already disconnected");
    // The server closed first: no close notification will come, so the run goes on from here.
    if (newState == PS_ListFileQueued) PostTransition(ACT_DownloadFiles, PS_DownloadingListFile);
    else if (newState == PS_ListFileCurrent) PostTransition(ACT_DownloadPackageFiles, PS_DownloadingFiles);
}

void Patcher::DoSendLatestFileList() {
    ++m_listRequests;
    HY_LOG(LL_Status, kPatchCategory, "Patcher::ProcessTransition", "Send MSG_LATEST_FILE_LIST_V2");
    MessageManager& messages = MessageManager::GetSingleton();
    DMLRecord request;
    messages.PrepMessage(request, "MSG_LATEST_FILE_LIST_V2");
    request.GetField("Locale").SetValue(std::string_view(m_locale));
    request.GetField("ListFileSize").SetValue(m_listRequests);
    std::string bytes = messages.MessageToBinary(request);
    // A request that cannot go out is answered by nobody: the reply timer ends the run.
    if (!bytes.empty()) SendMessage(bytes.data(), static_cast<uint32_t>(bytes.size()));
    m_replyTimer.StartTimer(m_replyTimeoutMs);
}

void Patcher::DoDownloadFiles() {
    if (StartHttpClient() != 0) FailAndStop(PF_DownloadStartFailed, "Patch failed - Error downloading RTPatch file");
}

void Patcher::DoStopPatcher() {
    if (m_state == PS_Stopped || m_state == PS_Stopping) return;
    m_replyTimer.Stop();
    HYHttpFileClient::Stop();
    HYHttpFileClient::Reset();
    m_heldRequests.clear();
    if (!SessionOpenOrConnecting()) {
        PostTransition(ACT_PatcherStopped, PS_Stopped);
        return;
    }
    HY_LOG(LL_Status, kPatchCategory, "Patcher::DoStopPatcher", "Shutting down Patch Server connection");
    Close(true);
}

void Patcher::ServerReplyTimedOut() {
    if (m_state != PS_AwaitingFileList) return;
    FailAndStop(PF_ServerTimeout);
}

void Patcher::ConnectComplete() {
    if (m_state != PS_Connecting) {
        HY_LOG(LL_Warning, kPatchCategory, "Patcher::ConnectComplete", "Connected to Patch Server - Wrong state %d",
               m_state);
        return;
    }
    HY_LOG(LL_Status, kPatchCategory, "Patcher::ConnectComplete", "Connected to Patch Server");
    PostTransition(ACT_SendLatestFileList, PS_AwaitingFileList);
}

void Patcher::ConnectFailed() {
    // Only the connect of this run can fail it; a connect dropped by a stop ends through the
    // closed connection instead, so the run still ends once.
    if (m_state != PS_Connecting && m_state != PS_AwaitingFileList) return;
    ReportFailure(PF_ConnectFailed);
    PostTransition(ACT_PatcherStopped, PS_Stopped);
}

void Patcher::AppCloseConnection() {
    HY_LOG(LL_Status, kPatchCategory, "Patcher::AppCloseConnection", "Patch Server connection closed");
    switch (m_state) {
        case PS_ListFileQueued: PostTransition(ACT_DownloadFiles, PS_DownloadingListFile); break;
        case PS_ListFileCurrent: PostTransition(ACT_DownloadPackageFiles, PS_DownloadingFiles); break;
        case PS_Stopped:
        case PS_Stopping: PostTransition(ACT_PatcherStopped, PS_Stopped); break;
        case PS_Starting:
        case PS_DownloadingListFile:
        case PS_DownloadingFiles: break;
        case PS_AwaitingFileList:
            // The server may close right after its reply, before the disconnect the reply posted
            // has run; that disconnect then carries the run on.
            if (m_replyHandled) break;
            [[fallthrough]];
        default:
            ReportFailure(PF_ConnectionLost);
            PostTransition(ACT_PatcherStopped, PS_Stopped);
            break;
    }
}

bool Patcher::AppProcessMessage(const MsgBufferRef& buffer) {
    DMLRecord record;
    MessageManager& messages = MessageManager::GetSingleton();
    if (messages.MessageFromBinary(record, buffer->Data(), buffer->Length(), kAccessLevel) < 0) {
        HY_LOG(LL_Error, kPatchCategory, "Patcher::AppProcessMessage",
               "Patcher::AppProcessMessage: MessageFromBinary reported an error.");
        return false;
    }
    const std::string& name = messages.GetEventName(record);
    if (name.empty()) return false;
    Event event(record);
    return m_dispatcher.SendEvent(name, event) != 0;
}

int Patcher::MSG_LatestFileListV2(DMLRecord& record) {
    const char* fn = "Patcher::MSG_LatestFileListV2";
    if (m_state != PS_AwaitingFileList || m_replyHandled) {
        HY_LOG(LL_Warning, kPatchCategory, fn, "Received MSG_LATEST_FILE_LIST_V2 - Wrong state %d", m_state);
        return 1;
    }
    HY_LOG(LL_Status, kPatchCategory, fn, "Received MSG_LATEST_FILE_LIST_V2");
    m_replyTimer.Stop();
    m_replyHandled = true;
    std::string locale = TextField(record, "Locale");
    if (locale == kLocaleUnsupported) {
        HY_LOG(LL_Warning, kPatchCategory, fn,
               "Received MSG_LATEST_FILE_LIST_V2 - Locale (%s) not supported by the server", m_locale.c_str());
        ReportFailure(PF_LocaleUnsupported, nullptr, false);
        PostTransition(ACT_StopPatcher, PS_Stopping);
        return 1;
    }
    m_urlPrefix = TextField(record, "URLPrefix");
    m_urlSuffix = TextField(record, "URLSuffix");
    std::string listName = TextField(record, "ListFileName");
    std::string listUrl = TextField(record, "ListFileURL");
    uint32_t listSize = UIntField(record, "ListFileSize");
    uint32_t listCrc = UIntField(record, "ListFileCRC");
    uint32_t version = UIntField(record, "LatestVersion");
    uint32_t listType = UIntField(record, "ListFileType");
    HY_LOG(LL_Status, kPatchCategory, fn, "UrlPrefix=%s", m_urlPrefix.c_str());
    HY_LOG(LL_Status, kPatchCategory, fn, "UrlSuffix=%s", m_urlSuffix.c_str());
    HY_LOG(LL_Status, kPatchCategory, fn, "Ver=%u, Size=%u, CRC=%08X, FileUrl=%s", version, listSize, listCrc,
           listUrl.c_str());
    // The list is stored under the name the server gives, inside the cache directory and
    // nowhere else.
    if (!LatestFileList::IsPlainFileName(listName)) {
        HY_LOG(LL_Warning, kPatchCategory, fn, "List file name '%s' is not a plain file name", listName.c_str());
        FailAndStop(PF_ListTransferFailed, "Patch failed - Error adding Latest File List file to the download list");
        return 1;
    }
    if (m_list.IsListCurrent(m_cacheDirectory, listType, listName, listSize, listCrc, version)) {
        PostTransition(ACT_DisconnectPatchServer, PS_ListFileCurrent);
        return 1;
    }
    // Requests of an aborted earlier run must not come back with this one.
    HYHttpFileClient::Reset();
    m_listFileProcessed = false;
    m_lastFailure = DF_None;
    std::string localPath = HY_OS::JoinPath(m_cacheDirectory, listName);
    if (AddFile(listUrl, localPath, DT_WholeFile, 0, listSize, listCrc, 0, 0, 0, false, false) != 0) {
        FailAndStop(PF_ListTransferFailed, "Patch failed - Error adding Latest File List file to the download list");
        return 1;
    }
    PostTransition(ACT_DisconnectPatchServer, PS_ListFileQueued);
    return 1;
}

void Patcher::OnDownloadStarted(const std::string&, const std::string& localPath, uint32_t) {
    if (m_state == PS_DownloadingFiles) OnFileDownloadStarted(localPath);
}

void Patcher::CountProcessedFile(uint32_t size, uint32_t bytesTransferred, bool altered) {
    ++m_filesProcessed;
    if (!altered) {
        m_bytesSaved += size;
        return;
    }
    ++m_filesAltered;
    m_bytesDownloaded += bytesTransferred;
    // A compressed file may travel in more bytes than it has; nothing was saved then.
    if (size > bytesTransferred) m_bytesSaved += size - bytesTransferred;
    m_consecutiveFailures = 0;
}

void Patcher::OnFileCurrent(const std::string&, const std::string& localPath, uint32_t size, uint32_t crc,
                            uint64_t lastWriteTime, uint32_t tag) {
    if (m_state == PS_DownloadingListFile) {
        m_list.RecordListFile(localPath, size, crc);
        m_listFileProcessed = true;
        return;
    }
    if (m_state != PS_DownloadingFiles) return;
    OnFileUpToDate(localPath);
    FeedCache(tag, size, crc, lastWriteTime);
    CountProcessedFile(size, 0, false);
    TopUpRequests();
}

void Patcher::OnFileDownloaded(const std::string&, const std::string& localPath, uint32_t, uint32_t bytesDone,
                               uint32_t crc, uint32_t bytesTransferred, uint64_t lastWriteTime, uint32_t tag) {
    if (m_state == PS_DownloadingListFile) {
        m_list.RecordListFile(localPath, bytesDone, crc);
        m_listFileProcessed = true;
        return;
    }
    if (m_state != PS_DownloadingFiles) return;
    const FileRequest* request = IndicatedRequest();
    uint32_t size = request && request->m_size != 0 ? request->m_size : bytesDone;
    OnFileUpdated(localPath);
    FeedCache(tag, size, crc, lastWriteTime);
    CountProcessedFile(size, bytesTransferred, true);
    TopUpRequests();
}

void Patcher::OnDownloadProgress(const std::string&, const std::string& localPath, uint32_t bytesDone,
                                 uint32_t size, uint32_t) {
    if (m_state == PS_DownloadingListFile) return;
    int total = 0;
    if (m_state == PS_DownloadingFiles && m_bytesQueued != 0)
        total = static_cast<int>((m_bytesDownloaded + m_bytesSaved) * 100 / m_bytesQueued);
    uint32_t percent = size == 0 ? 0 : static_cast<uint32_t>(bytesDone * 100.0 / size);
    OnTotalProgress(total);
    OnFileProgress(localPath, percent);
}

int Patcher::OnFileDownloadFailed(DownloadFailure failure, const std::string&, const std::string& localPath,
                                  uint32_t) {
    if (failure == DF_DiskFull || failure == DF_FileError || m_state == PS_DownloadingListFile) {
        m_lastFailure = failure;
        TopUpRequests();
        return RA_Drop;
    }
    // Failures of a run being stopped are not counted against anything.
    if (m_state != PS_DownloadingFiles) return RA_Drop;
    HY_LOG(LL_DebugMed, kPatchCategory, "Patcher::OnFileDownloadFailed", "Error downloading %s", localPath.c_str());
    const FileRequest* request = IndicatedRequest();
    uint32_t failures = request ? static_cast<uint32_t>(request->m_openFailures) + request->m_transferFailures +
                                      request->m_fileFailures + request->m_verifyFailures
                                : 0;
    OnFileRetry(localPath, failures);
    ++m_consecutiveFailures;
    if (m_consecutiveFailures > 2 * m_retryLimit) {
        FailAndStop(PF_FileDownloadFailed);
        return RA_Drop;
    }
    if (m_retryDelayMs != 0) HY_OS::SleepMs(m_retryDelayMs);
    return m_consecutiveFailures > m_retryLimit ? RA_RetryFromScratch : RA_Retry;
}

void Patcher::OnAllFilesProcessed() {
    const char* fn = "Patcher::OnAllFilesProcessed";
    if (m_state != PS_DownloadingListFile && m_state != PS_DownloadingFiles) return;
    FlushCache();
    if (m_lastFailure == DF_DiskFull) {
        FailAndStop(PF_DiskFull);
        return;
    }
    if (m_lastFailure == DF_FileError) {
        FailAndStop(PF_FileLocked);
        return;
    }
    if (m_state == PS_DownloadingListFile) {
        if (m_listFileProcessed) {
            HY_LOG(LL_Status, kPatchCategory, fn, "Latest file list downloaded");
            if (m_list.LoadList()) {
                ResetCounters();
                PostTransition(ACT_DownloadPackageFiles, PS_DownloadingFiles);
            } else {
                FailAndStop(PF_ListUnreadable);
            }
            return;
        }
        HY_LOG(LL_Warning, kPatchCategory, fn, "%s", kListDownloadFailed);
        if (m_listRequests < 2) {
            HYHttpFileClient::Stop();
            HYHttpFileClient::Reset();
            PostTransition(ACT_ConnectPatchServer, PS_Connecting);
            return;
        }
        PatchFailure code = PF_ListTransferFailed;
        if (m_lastFailure == DF_HostNotFound) code = PF_ListHostNotFound;
        else if (m_lastFailure == DF_RequestFailed) code = PF_ListRequestFailed;
        else if (m_lastFailure == DF_VerifyFailed) code = PF_ListVerifyFailed;
        ReportFailure(code, nullptr, false);
        PostTransition(ACT_StopPatcher, PS_Stopping);
        return;
    }
    if (m_filesProcessed == m_filesQueued && m_heldRequests.empty()) {
        HY_LOG(LL_Status, kPatchCategory, fn, "Patch completed.");
        HY_LOG(LL_Status, kPatchCategory, fn, "   Package name:      %s", m_packageName.c_str());
        HY_LOG(LL_Status, kPatchCategory, fn, "   Files altered:     %u", m_filesAltered);
        OnPatchCompleted(m_filesAltered, m_bytesDownloaded, m_bytesSaved);
        PostTransition(ACT_StopPatcher, PS_Stopping);
    }
}
