#include "PatchClientBC.h"

#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#include "LogMessage.h"
#include "OsFile.h"
#include "OsProcess.h"
#include "OsSysCalls.h"
#include "OsTime.h"
#include "PatchClientConfig.h"
#include "UserRegistryStore.h"

namespace {

constexpr const char* kCategory = "CORE_PATCH_CLNT";
constexpr uint32_t kSignOfLifePollMs = 10;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    return text;
}

}  // namespace

PatchClientBC::PatchClientBC(std::string exePath) : PatchClient(std::move(exePath)) {}

void PatchClientBC::InitializePatchClient(const std::string& appStartValueName, const LaunchOptions& options) {
    m_options = options;
    if (!options.runFlag) {
        HY_LOG(LL_Error, kCategory, "PatchClient::InitializePatchClient",
               "PatchClient::InitializePatchClient: Missing -r cmd option");
        OnDisplayErrorMessage(PCE_MissingRunFlag);
        return;
    }
    m_appStartValueName = appStartValueName;
    if (!Initialize(PatchClientConfig::Get(), options.restartAfterLogin, options.noRestartAfterLeadPatch,
                    options.forceDownload, options.validateWads)) {
        OnDisplayErrorMessage(PCE_InitializeFailed);
        return;
    }
    if (!options.jSessionId.empty()) SetWebSessionId(options.jSessionId);
    if (options.userId != 0 && !options.passKey.empty()) {
        if (Start(options.userId, options.passKey, options.userName))
            ShowProgressControls();
        else
            OnDisplayErrorMessage(PCE_StartRefused);
    }
}

std::string PatchClientBC::AppStartText(const std::string& bankDirectory) const {
    std::string relative = bankDirectory;
    if (relative.compare(0, Root().size(), Root()) == 0) relative.erase(0, Root().size());
    std::string text = "./" + relative + ExeFileName() + " -r";
    if (m_options.noRestartAfterLeadPatch) text += " -1";
    if (IsPaid()) text += " -s";
    return text;
}

std::string PatchClientBC::MaskedCommandLine(const std::string& bankDirectory, const std::string& exeFileName,
                                             uint64_t accountId, const std::string& accountName) {
    return Format("%s%s -r -u:%llu -p:*** -n:%s", bankDirectory.c_str(), exeFileName.c_str(),
                  static_cast<unsigned long long>(accountId), accountName.c_str());
}

void PatchClientBC::OnPCStateChange(int state) {
    switch (state) {
        case ST_VerifyingUser: ShowProgressControls(); break;
        case ST_LeadCopying: OnReportFileProgressToUI("Backing up files...", 50); break;
        case ST_LeadPatching:
        case ST_GamePatching: ReportFileDone(std::string()); break;
        default: break;
    }
    OnReportPatchingStateToUI(state);
}

void PatchClientBC::OnPCNeedRestart(const std::string& root, const std::string& bankDirectory,
                                    const std::string& exeFileName, uint64_t accountId, const std::string& passKey,
                                    const std::string& accountName) {
    OnReportPatchingStateToUI(ST_LaunchingNewPatchClient);
    HY_LOG(LL_Status, kCategory, "PatchClientBC::OnPCNeedRestart", "Launching patch client.");
    OnReportTotalProgressToUI(100);

    std::string masked = MaskedCommandLine(bankDirectory, exeFileName, accountId, accountName);
    HY_LOG(LL_Status, kCategory, "PatchClientBC::OnPCNeedRestart", "%s", masked.c_str());
    // The new process gets the command line's options as separate arguments: an account name
    // with spaces arrives whole, and no fixed-size buffer cuts a long name or session id short.
    std::vector<std::string> arguments = {
        "-r",
        Format("-u:%llu", static_cast<unsigned long long>(accountId)),
        "-p:" + passKey,
        "-n:" + accountName,
        "-j:" + WebSessionId(),
    };
    // The old log copied along with the bank would look like the new launcher's.
    HY_OS::DeleteFile(bankDirectory + kLauncherLogFile);
    uint32_t processId = 0;
    int error = StartProcess(bankDirectory + exeFileName, arguments, bankDirectory, &processId);
    if (error != 0) {
        HY_LOG(LL_Error, kCategory, "PatchClientBC::OnPCNeedRestart", "Fail to start Patch Client process");
        OnDisplayErrorMessage(PCE_RelaunchFailed);
        PostQuit();
        return;
    }
    m_relaunchedProcessId = processId;
    if (WaitForSignOfLife(processId, bankDirectory)) {
        // Windows belong to the display server here; raising the new one is all that can be done.
        HY_OS::BringProcessWindowsToFront(processId);
        HY_LOG(LL_Status, kCategory, "PatchClientBC::OnPCNeedRestart", "Set focus to the newly launched Patch Client.");
    }
    WriteAppStartFile(root + kAppStartFile, AppStartText(bankDirectory));
    PostQuit();
}

int PatchClientBC::StartProcess(const std::string& path, const std::vector<std::string>& arguments,
                                const std::string& workingDirectory, uint32_t* processId) {
    return HY_OS::SpawnProcess(path, arguments, workingDirectory, processId);
}

bool PatchClientBC::WaitForSignOfLife(uint32_t processId, const std::string& bankDirectory) {
    const std::string log = bankDirectory + kLauncherLogFile;
    uint64_t start = HY_OS::SysCalls().MonotonicMs();
    while (!HY_OS::FileExists(log)) {
        if (HY_OS::SysCalls().MonotonicMs() - start >= kSignOfLifeLimitMs) return false;
        HY_OS::SleepMs(kSignOfLifePollMs);
    }
    return true;
}

std::string PatchClientBC::RegistryStorePath() const { return UserRegistryStore::DefaultPath(); }

void PatchClientBC::RewriteAppStartInfo() {
    WriteAppStartFile(Root() + kAppStartFile, AppStartText(RunningBankDirectory()));
}

bool PatchClientBC::WriteAppStartFile(const std::string& path, const std::string& text) {
    // Written under a temporary name and renamed, so a kill at any moment leaves either the
    // previous text or the new one, never an empty or partial file.
    bool fileFailed = !HY_OS::WriteFileAtomic(path, text);
    if (fileFailed)
        HY_LOG(LL_Error, kCategory, "PatchClientBC::WriteAppStartFile", "Fail to write StarterApp file.");

    std::string storePath = RegistryStorePath();
    errno = 0;
    UserRegistryStore store(storePath);
    bool registryFailed = storePath.empty() || !store.WriteString(kAppStartRegistryKey, m_appStartValueName, text);
    if (registryFailed) {
        if (errno == EACCES || errno == EPERM || errno == EROFS)
            HY_LOG(LL_Error, kCategory, "PatchClientBC::WriteAppStartFile",
                   "Access denied when writing AppStart info to the registry.");
        else
            HY_LOG(LL_Error, kCategory, "PatchClientBC::WriteAppStartFile", "Fail to write AppStart info to the registry.");
        if (fileFailed) {
            OnDisplayErrorMessage(PCE_AppStartFailed);
            HY_LOG(LL_Error, kCategory, "PatchClientBC::WriteAppStartFile", "Fail to set AppStart configuration.");
        }
    }
    return !(fileFailed && registryFailed);
}
