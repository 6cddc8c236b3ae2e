#include "PatchClient.h"

#include <cctype>
#include <cinttypes>

#include "LogMessage.h"
#include "OsSysCalls.h"
#include "PatchClientConfig.h"
#include "PatchClientId.h"
#include "ResourceManager.h"
#include "UserRegistryStore.h"

namespace {

constexpr const char* kCategory = "CORE_PATCH_CLNT";

bool EqualsIgnoringCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return i == a.size() && b[i] == '\0';
}

}  // namespace

PatchClient::PatchClient(std::string exePath)
    : m_exePath(std::move(exePath)),
      m_queueEvent([this] { RunQueuedEvent(); }, "PatchClient events", __FILE__, __LINE__) {}

PatchClient::~PatchClient() = default;

bool PatchClient::Initialize(PatchClientConfig* config, bool restartAfterLogin, bool noRestartAfterLeadPatch,
                             bool forceDownload, bool validateWads) {
    if (m_currentState != ST_Initial && m_currentState != ST_Ready && m_currentState != ST_Completed) {
        HY_LOG(LL_Error, kCategory, "PatchClient::Initialize", "PatchClient::Initialize: Wrong state");
        return false;
    }
    m_config = config;
    m_restartAfterLogin = restartAfterLogin;
    m_noRestartAfterLeadPatch = noRestartAfterLeadPatch;
    std::string locale = config != nullptr && !config->Language.empty() ? config->Language : "English";
    PatchClientLogin::SetLocale(locale);
    Patcher::SetLocale(locale);
    SetDownloadFlags(forceDownload, validateWads);

    if (!SplitExePath()) return false;

    std::string dataDirectory = config != nullptr ? config->PatchClientDataDir : std::string("./");
    // The resource manager finds the message modules (Root.wad or loose files) in the data folder.
    m_resources = std::make_shared<ResourceManager>(dataDirectory);
    ResourceManager::SetCurrent(m_resources);
    std::string clientId;
    if (config != nullptr) {
        UserRegistryStore store(UserRegistryStore::DefaultPath());
        clientId = PatchClientIdFromRegistry(store, config->PatchClientIDRegistry, config->PatchClientIDRegKey);
    }
    PatchClientLogin::Initialize(dataDirectory, clientId);
    SetState(ST_Ready);
    return true;
}

bool PatchClient::SplitExePath() {
    // root/PatchClient/<bank>/<file>: the root is two folders above the executable's folder. A
    // Windows program's own path comes with backslashes, so both separators count (as in
    // HY_OS::DirectoryPart).
    constexpr const char* kSeparators = "/\\";
    size_t fileCut = m_exePath.find_last_of(kSeparators);
    size_t bankCut = fileCut == std::string::npos || fileCut == 0 ? std::string::npos
                                                                   : m_exePath.find_last_of(kSeparators, fileCut - 1);
    size_t rootCut = bankCut == std::string::npos || bankCut == 0 ? std::string::npos
                                                                   : m_exePath.find_last_of(kSeparators, bankCut - 1);
    if (rootCut == std::string::npos || fileCut + 1 >= m_exePath.size()) {
        HY_LOG(LL_Error, kCategory, "PatchClient::Initialize", "PatchClient::Initialize: Unable to extract app path");
        return false;
    }
    std::string bank = m_exePath.substr(bankCut + 1, fileCut - bankCut - 1);
    if (EqualsIgnoringCase(bank, "BankA")) {
        m_runningBank = 0;
    } else if (EqualsIgnoringCase(bank, "BankB")) {
        m_runningBank = 1;
    } else {
        HY_LOG(LL_Error, kCategory, "PatchClient::Initialize", "PatchClient::Initialize: Invalid app path");
        return false;
    }
    m_exeFileName = m_exePath.substr(fileCut + 1);
    m_root = m_exePath.substr(0, rootCut + 1);
    m_binDirectory = m_root + "Bin/";
    std::string infoName = m_config != nullptr ? m_config->PatchInfoDirectory : std::string("PatchInfo");
    m_patchInfoDirectory = m_root + infoName + "/";
    m_bankDirectory[0] = m_root + "PatchClient/BankA/";
    m_bankDirectory[1] = m_root + "PatchClient/BankB/";
    return true;
}

bool PatchClient::Start(const std::string& accountName, const std::string& password) {
    if (m_currentState != ST_Ready && m_currentState != ST_Completed) {
        HY_LOG(LL_Error, kCategory, "PatchClient::Start", "PatchClient::Start: Wrong state");
        return false;
    }
    HY_LOG(LL_Status, kCategory, "PatchClient::Start", "PatchClient::Start");
    BatchPatcher::Reset();
    m_freeToPlayCapped = false;
    m_userStopRaised = false;
    m_errorExtra.clear();
    m_userName = accountName;
    m_password = password;
    m_accountId = 0;
    m_userPassKey.clear();
    RaiseEvent(ET_Start);
    return true;
}

bool PatchClient::Start(uint64_t accountId, const std::string& passKey, const std::string& accountName) {
    if (m_currentState != ST_Ready) {
        HY_LOG(LL_Error, kCategory, "PatchClient::Start", "PatchClient::Start: Wrong state");
        return false;
    }
    HY_LOG(LL_Status, kCategory, "PatchClient::Start", "PatchClient::Start");
    BatchPatcher::Reset();
    m_userStopRaised = false;
    m_errorExtra.clear();
    m_userName = accountName;
    m_password.clear();
    m_accountId = accountId;
    m_userPassKey = passKey;
    RaiseEvent(ET_Start);
    return true;
}

bool PatchClient::StopPending() const {
    return PatchClientLogin::IsStopping() || GetBatchState() == BS_Stopping;
}

void PatchClient::RaiseUserStopped() {
    // The stop request and the stop notifications of both parts may each find nothing pending;
    // only the first of them raises the event.
    if (m_userStopRaised) return;
    m_userStopRaised = true;
    RaiseEvent(ET_UserStopped);
}

bool PatchClient::Stop() {
    HY_LOG(LL_Status, kCategory, "PatchClient::Stop", "State: %s", "ST_UserStopping");
    m_currentState = ST_UserStopping;
    m_userStopRaised = false;
    PatchClientLogin::StopLogin();
    BatchPatcher::Stop();
    if (!StopPending()) RaiseUserStopped();
    return true;
}

void PatchClient::RaiseEvent(int event, int code) {
    const char* name = EventName(event);
    HY_LOG(LL_Status, kCategory, "PatchClient::RaiseEvent", "Event: %s", name != nullptr ? name : "?");
    std::lock_guard<std::mutex> lock(m_queueLock);
    m_events.emplace_back(event, code);
    if (!m_queueEvent.IsQueued()) m_queueEvent.Signal();
}

void PatchClient::RunQueuedEvent() {
    std::pair<int, int> next;
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        if (m_events.empty()) return;
        next = m_events.front();
        m_events.pop_front();
    }
    ProcessEvent(next.first, next.second);
    std::lock_guard<std::mutex> lock(m_queueLock);
    if (!m_events.empty() && !m_queueEvent.IsQueued()) m_queueEvent.Signal();
}

void PatchClient::SetState(int state) {
    if (state == m_currentState) return;
    HY_LOG(LL_Status, kCategory, "PatchClient::SetState", "State: %s", StateName(state));
    m_currentState = state;
    OnPCStateChange(state);
}

void PatchClient::ProcessEvent(int event, int code) {
    const char* stateName = StateName(m_currentState);
    const char* eventName = EventName(event);
    if (stateName == nullptr || eventName == nullptr) {
        HY_LOG(LL_Warning, kCategory, "PatchClient::ProcessEvent", "PatchClient::ProcessEvent: Inavlid state or event");
        return;
    }
    if (!EventAllowed(m_currentState, event)) {
        HY_LOG(LL_Warning, kCategory, "PatchClient::ProcessEvent",
               "PatchClient::ProcessEvent: Invalid event (%s) received in state %s.", eventName, stateName);
        // A step that finished just before the user stopped must not start the next one: the
        // stop's own event follows in the queue and ends the run.
        if (m_currentState == ST_UserStopping) return;
    }
    switch (event) {
        case ET_Start: VerifyUser(); break;
        case ET_UserVerified:
            if (m_restartAfterLogin) CompleteWithRestart();
            else CopyLead();
            break;
        case ET_LeadCopied: PatchLead(); break;
        case ET_LeadChanged:
            if (!m_noRestartAfterLeadPatch) {
                CompleteWithRestart();
                break;
            }
            [[fallthrough]];
        case ET_LeadUnchanged:
            OnPCPrepareGamePatch();
            PatchGame();
            break;
        case ET_GamePatched:
            OnPCGamePatched();
            if (m_freeToPlayCapped) {
                HY_LOG(LL_Status, kCategory, "PatchClient::ProcessEvent", "Too many free players");
                RaiseEvent(ET_ErrorStopped, PCE_FreeToPlayCapped);
                break;
            }
            SetState(ST_Completed);
            OnPCCompleted(m_root, m_binDirectory, m_config != nullptr ? m_config->GameClientExecutable : std::string(),
                          m_config != nullptr ? m_config->CommandLine : std::string(),
                          PatchClientLogin::Locale(), m_accountId, m_userPassKey, m_userName);
            break;
        case ET_UserStopped:
            HY_LOG(LL_Status, kCategory, "PatchClient::ProcessEvent", "State: %s", "ST_Ready");
            m_currentState = ST_Ready;
            OnPCUserStopped();
            break;
        case ET_ErrorStopped:
            PatchClientLogin::StopLogin();
            BatchPatcher::Stop();
            HY_LOG(LL_Status, kCategory, "PatchClient::ProcessEvent", "State: %s", "ST_Ready");
            m_currentState = ST_Ready;
            OnPCErrorStopped(code, m_errorExtra);
            break;
        default: break;
    }
}

void PatchClient::CompleteWithRestart() {
    SetState(ST_Completed);
    OnPCNeedRestart(m_root, OtherBankDirectory(), m_exeFileName, m_accountId, m_userPassKey, m_userName);
}

void PatchClient::VerifyUser() {
    const std::string host = m_config != nullptr ? m_config->LoginHostname : std::string();
    const uint16_t port = m_config != nullptr ? m_config->LoginPort : 0;
    if (!m_userPassKey.empty()) {
        HY_LOG(LL_Status, kCategory, "PatchClient::VerifyUser",
               "PatchClient::VerifyUser calling ValidateUser without retry logic with timeout=%d number of tries=%d",
               static_cast<int>(kLoginTimeoutMs), 1);
        if (ValidateUser(host, port, m_accountId, m_userPassKey, kLoginTimeoutMs))
            SetState(ST_VerifyingUser);
        else
            RaiseEvent(ET_ErrorStopped, PCE_ValidateNotStarted);
        return;
    }
    HY_LOG(LL_Status, kCategory, "PatchClient::VerifyUser",
           "PatchClient::VerifyUser calling AuthenticateUser without retry logic with timeout=%d number of tries=%d",
           static_cast<int>(kLoginTimeoutMs), 1);
    if (m_userName.empty() || m_password.empty()) {
        RaiseEvent(ET_ErrorStopped, PCE_EmptyNameOrPassword);
        return;
    }
    bool started = AuthenticateUser(host, port, m_userName, m_password, kLoginTimeoutMs);
    // The password is needed only for the request, which the login client keeps itself.
    m_password.assign(m_password.size(), '\0');
    m_password.clear();
    if (started)
        SetState(ST_VerifyingUser);
    else
        RaiseEvent(ET_ErrorStopped, PCE_AuthenticateNotStarted);
}

void PatchClient::OnLoginSuccessful(uint64_t accountId, const std::string& passKey, int paying) {
    HY_LOG(LL_Status, kCategory, "PatchClient::OnLoginSuccessful", "User login successful");
    m_accountId = accountId;
    m_userPassKey = passKey;
    m_paid = paying;
    RaiseEvent(ET_UserVerified);
}

void PatchClient::OnLoginFailed(uint64_t accountId, const std::string& passKey, int result,
                                const std::string& banText) {
    if (result == LR_FreeToPlayCapped) {
        HY_LOG(LL_Status, kCategory, "PatchClient::OnLoginFailed",
               "User login failed due to FTP cap - Will proceed as if login was successful");
        m_accountId = accountId;
        m_userPassKey = passKey;
        m_freeToPlayCapped = true;
        RaiseEvent(ET_UserVerified);
        return;
    }
    HY_LOG(LL_Status, kCategory, "PatchClient::OnLoginFailed", "User login failed");
    m_userPassKey.clear();
    if (m_currentState == ST_UserStopping) {
        if (!StopPending()) RaiseUserStopped();
        return;
    }
    int code = LoginResultErrorCode(result);
    if (code < 0) return;  // a stopped sign-in: its stop reports itself
    if (result == LR_AccountBannedUntil || result == LR_MachineBannedUntil) m_errorExtra = banText;
    RaiseEvent(ET_ErrorStopped, code);
}

void PatchClient::CopyLead() {
    HY_LOG(LL_Status, kCategory, "PatchClient::CopyLead", "Lead copy the patch client files.");
    SetState(ST_LeadCopying);
    uint32_t errorCode = 0;
    bool copied = CopyDirectory(RunningBankDirectory(), OtherBankDirectory(), errorCode);
    // A stop made during the copy (from a progress callback) has raised its own event already;
    // the copy's result must not start the lead patch after it.
    if (m_currentState != ST_LeadCopying) return;
    if (copied) {
        RaiseEvent(ET_LeadCopied);
        return;
    }
    HY_LOG(LL_Error, kCategory, "PatchClient::CopyLead", "Fail to lead copy");
    const char* line = nullptr;
    int code = LeadCopyErrorCode(errorCode, &line);
    HY_LOG(LL_Error, kCategory, "PatchClient::CopyLead", line, static_cast<unsigned long>(errorCode));
    RaiseEvent(ET_ErrorStopped, code);
}

bool PatchClient::InitializeBatch(const std::string& installDirectory) {
    const std::string dataDirectory = m_config != nullptr ? m_config->PatchClientDataDir : std::string("./");
    const std::string host = m_config != nullptr ? m_config->PatchServerHostname : std::string();
    const uint16_t port = m_config != nullptr ? m_config->PatchServerPort : 0;
    return BatchPatcher::Initialize(installDirectory, dataDirectory, m_patchInfoDirectory, host, port, false) &&
           BatchPatcher::Reset();
}

void PatchClient::PatchLead() {
    HY_LOG(LL_Status, kCategory, "PatchClient::PatchLead", "Lead patch the patch client.");
    m_patchStartMs = HY_OS::SysCalls().MonotonicMs();
    if (!InitializeBatch(OtherBankDirectory())) {
        HY_LOG(LL_Error, kCategory, "PatchClient::PatchLead", "Fail to initialize lead patch.");
        RaiseEvent(ET_ErrorStopped, PCE_LeadPatchNotStarted);
        return;
    }
    if (AddPackage("PatchClient", 1, true) != PKG_Queued)
        HY_LOG(LL_Warning, kCategory, "PatchClient::PatchLead", "Problem adding lead package for download.");
    m_batchPackages = static_cast<uint32_t>(QueuedCount());
    m_packagesFinished = 0;
    if (!BatchPatcher::Start()) {
        HY_LOG(LL_Error, kCategory, "PatchClient::PatchLead", "Fail to start lead patch.");
        RaiseEvent(ET_ErrorStopped, PCE_LeadPatchNotStarted);
        return;
    }
    SetState(ST_LeadPatching);
}

void PatchClient::PatchGame() {
    HY_LOG(LL_Status, kCategory, "PatchClient::PatchGame", "Patch the game.");
    int osError = VerifyOS();
    if (osError != 0) {
        HY_LOG(LL_Error, kCategory, "PatchClient::PatchGame", "Unsupported OS");
        RaiseEvent(ET_ErrorStopped, osError);
        return;
    }
    if (!InitializeBatch(m_root)) {
        HY_LOG(LL_Error, kCategory, "PatchClient::PatchGame", "Fail to initialize game patch.");
        RaiseEvent(ET_ErrorStopped, PCE_GamePatchNotStarted);
        return;
    }
    if (!LoadPackagesFromFile(m_root + BatchPatcher::kLocalPackagesList, false, true, 0))
        HY_LOG(LL_Warning, kCategory, "PatchClient::PatchGame", "Fail to load local package list.");
    if (AddPackage("Base", 1, true) != PKG_Queued)
        HY_LOG(LL_Warning, kCategory, "PatchClient::PatchGame", "Problem adding game client package for download.");
    m_batchPackages = static_cast<uint32_t>(QueuedCount());
    m_packagesFinished = 0;
    if (!BatchPatcher::Start()) {
        HY_LOG(LL_Error, kCategory, "PatchClient::PatchGame", "Fail to start game patch.");
        RaiseEvent(ET_ErrorStopped, PCE_GamePatchNotStarted);
        return;
    }
    SetState(ST_GamePatching);
}

void PatchClient::OnBatchPatchSuccessful(uint32_t filesAltered) {
    if (m_currentState == ST_LeadPatching) {
        HY_LOG(LL_Status, kCategory, "PatchClient::OnBatchPatchSuccessful", "Lead patched successful");
        RaiseEvent(filesAltered > 0 ? ET_LeadChanged : ET_LeadUnchanged);
    } else if (m_currentState == ST_GamePatching) {
        HY_LOG(LL_Status, kCategory, "PatchClient::OnBatchPatchSuccessful", "Game patched successful");
        RaiseEvent(ET_GamePatched);
        double seconds = static_cast<double>(HY_OS::SysCalls().MonotonicMs() - m_patchStartMs) / 1000.0;
        HY_LOG(LL_Status, kCategory, "PatchClient::OnBatchPatchSuccessful", "Total patch time: %.2f secs", seconds);
    } else {
        HY_LOG(LL_Warning, kCategory, "PatchClient::OnBatchPatchSuccessful",
               "PatchClient::OnBatchPatchSuccessful: Wrong state %u", static_cast<unsigned>(m_currentState));
    }
}

void PatchClient::OnBatchPatchFailed(int failure) {
    if (m_currentState == ST_LeadPatching) {
        HY_LOG(LL_Warning, kCategory, "PatchClient::OnPatchFailed", "Lead patching failed");
    } else if (m_currentState == ST_GamePatching) {
        HY_LOG(LL_Warning, kCategory, "PatchClient::OnPatchFailed", "Game patching failed");
    } else {
        HY_LOG(LL_Warning, kCategory, "PatchClient::OnPatchFailed", "PatchClient::OnPatchFailed: Wrong state %u",
               static_cast<unsigned>(m_currentState));
        return;
    }
    RaiseEvent(ET_ErrorStopped, PatchFailureErrorCode(failure));
}

void PatchClient::OnBatchStopped() {
    if (m_currentState == ST_UserStopping && !StopPending()) RaiseUserStopped();
}

void PatchClient::OnFileStarted(const std::string& path) { OnReportFileProgressToUI(path, 0); }
void PatchClient::OnFileUnchanged(const std::string& path) { ReportFileDone(path); }
void PatchClient::OnFileChanged(const std::string& path) { OnReportFileProgressToUI(path, 100); }
void PatchClient::OnFileProgress(const std::string& path, int percent) { OnReportFileProgressToUI(path, percent); }

void PatchClient::OnPackageStarted(const std::string& package) {}

void PatchClient::OnPackageCompleted(const std::string& package, uint32_t, uint64_t, uint64_t) {
    ++m_packagesFinished;
}

void PatchClient::OnPackageFailed(const std::string& package, int, uint64_t, uint64_t) { ++m_packagesFinished; }

void PatchClient::OnPackageProgress(const std::string& package, int percent) {
    if (m_batchPackages <= 1) {
        OnReportTotalProgressToUI(percent);
        return;
    }
    uint32_t finished = m_packagesFinished > m_batchPackages ? m_batchPackages : m_packagesFinished;
    OnReportTotalProgressToUI(static_cast<int>(finished * 100 / m_batchPackages));
}
