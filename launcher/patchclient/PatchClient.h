// The patch client: drives one launcher run from sign-in to the moment the game may start. It
// signs the player in (the login client it is), copies the launcher's bank into the other bank,
// patches that copy ("lead patch"), asks for a relaunch from the other bank when the lead patch
// changed anything, and otherwise patches the game (the batch patcher it is).
//
// Everything is a state machine fed by events: RaiseEvent appends (event, code) to a locked queue
// from any thread, and the worker thread that made the object processes one event per loop pass,
// in order, always after the code that raised it has returned. The user-interface callbacks are
// virtual operations that the window bridge overrides; the base versions do nothing.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "BatchPatcher.h"
#include "HYEvent.h"
#include "PatchClientLogin.h"
#include "PatchClientTypes.h"

class PatchClientConfig;
class ResourceManager;

class PatchClient : public PatchClientLogin, public BatchPatcher {
public:
    static constexpr uint32_t kLoginTimeoutMs = 20000;
    static constexpr uint32_t kSharingRetryMs = 1000;
    static constexpr int kCopyAttempts = 11;

    // `exePath`: the launcher executable's full path, root/PatchClient/<bank>/<file>.
    explicit PatchClient(std::string exePath);
    ~PatchClient() override;

    // Stores the configuration and flags, derives the paths from the executable's path, starts
    // the resource manager and the login client. False (logged) in a busy state or for an
    // executable outside a bank directory.
    bool Initialize(PatchClientConfig* config, bool restartAfterLogin, bool noRestartAfterLeadPatch,
                    bool forceDownload, bool validateWads);
    // A sign-in with name and password.
    bool Start(const std::string& accountName, const std::string& password);
    // A sign-in with the account id and pass key of an earlier one (a relaunch).
    bool Start(uint64_t accountId, const std::string& passKey, const std::string& accountName);
    // Stops whatever runs; one ET_UserStopped follows once the login client and the batch
    // patcher have stopped.
    bool Stop();
    void RaiseEvent(int event, int code = 0);

    int GetState() const { return m_currentState; }
    const std::string& Root() const { return m_root; }
    const std::string& BinDirectory() const { return m_binDirectory; }
    const std::string& PatchInfoDirectory() const { return m_patchInfoDirectory; }
    const std::string& BankDirectory(int bank) const { return m_bankDirectory[bank & 1]; }
    int RunningBank() const { return m_runningBank; }
    const std::string& RunningBankDirectory() const { return m_bankDirectory[m_runningBank]; }
    const std::string& OtherBankDirectory() const { return m_bankDirectory[1 - m_runningBank]; }
    const std::string& ExeFileName() const { return m_exeFileName; }
    uint64_t UserAccountId() const { return m_accountId; }
    const std::string& UserPassKey() const { return m_userPassKey; }
    const std::string& UserAccountName() const { return m_userName; }
    bool IsPaid() const { return m_paid != 0; }
    bool IsFreeToPlayCapped() const { return m_freeToPlayCapped; }
    const std::string& ErrorExtra() const { return m_errorExtra; }
    PatchClientConfig* Config() const { return m_config; }

    // Copies the files of `source` into `target` (both ending in '/'), recursing into folders;
    // files whose copy in the target is not older are left alone. The first failure ends the
    // copy; `errorCode` is then the system error of the failed file copy (0 for a folder).
    bool CopyDirectory(const std::string& source, const std::string& target, uint32_t& errorCode);
    // Copies one file unless it is a ".gz" file or the target is not older; retries a file held
    // by another process for ten seconds.
    bool CopyNewerFile(const std::string& source, const std::string& target, uint32_t& errorCode);

protected:
    // User-interface callbacks, in slot order.
    virtual void OnPCStateChange(int state) {}
    virtual void OnPCNeedRestart(const std::string& root, const std::string& bankDirectory,
                                 const std::string& exeFileName, uint64_t accountId,
                                 const std::string& passKey, const std::string& accountName) {}
    virtual void OnPCPrepareGamePatch() {}
    virtual void OnPCGamePatched() {}
    virtual void OnPCCompleted(const std::string& root, const std::string& binDirectory,
                               const std::string& gameExecutable, const std::string& commandLine,
                               const std::string& language, uint64_t accountId,
                               const std::string& passKey, const std::string& accountName) {}
    virtual void OnPCUserStopped() {}
    virtual void OnPCErrorStopped(int errorCode, const std::string& extra) {}
    // 0 when the game may run on this system, otherwise the error page's code.
    virtual int VerifyOS() { return 0; }
    virtual void OnDisplayErrorMessage(int errorCode) {}
    virtual void PostQuit() {}
    virtual void ReportFileDone(const std::string& fileName) {}
    virtual void OnReportFileProgressToUI(const std::string& text, int percent) {}
    virtual void OnReportTotalProgressToUI(int percent) {}
    virtual void OnReportPatchingStateToUI(int state) {}
    virtual void ShowLoginControls() {}
    virtual void ShowProgressControls() {}

    void ProcessEvent(int event, int code);
    void SetState(int state);

    // Login client notifications.
    void OnLoginSuccessful(uint64_t accountId, const std::string& passKey, int paying) override;
    void OnLoginFailed(uint64_t accountId, const std::string& passKey, int result,
                       const std::string& banText) override;

    // Batch patcher notifications.
    void OnBatchPatchSuccessful(uint32_t filesAltered) override;
    void OnBatchPatchFailed(int failure) override;
    void OnBatchStopped() override;
    void OnFileStarted(const std::string& path) override;
    void OnFileUnchanged(const std::string& path) override;
    void OnFileChanged(const std::string& path) override;
    void OnFileProgress(const std::string& path, int percent) override;
    void OnPackageProgress(const std::string& package, int percent) override;
    void OnPackageStarted(const std::string& package) override;
    void OnPackageCompleted(const std::string& package, uint32_t filesAltered, uint64_t bytesDownloaded,
                            uint64_t bytesSaved) override;
    void OnPackageFailed(const std::string& package, int failure, uint64_t bytesDownloaded,
                         uint64_t bytesSaved) override;
    using BatchPatcher::OnFileProgress;

private:
    void VerifyUser();
    void CopyLead();
    void PatchLead();
    void PatchGame();
    // Initialises and resets the batch patcher for `installDirectory` with the configured server.
    bool InitializeBatch(const std::string& installDirectory);
    void CompleteWithRestart();
    bool SplitExePath();
    // True while the login client or the batch patcher has a stop in progress.
    bool StopPending() const;
    // Raises the one ET_UserStopped of a user stop.
    void RaiseUserStopped();
    void RunQueuedEvent();

    std::string m_exePath;
    PatchClientConfig* m_config = nullptr;
    int m_currentState = ST_Initial;
    bool m_restartAfterLogin = false;
    bool m_noRestartAfterLeadPatch = false;

    std::string m_root;
    std::string m_binDirectory;
    std::string m_patchInfoDirectory;
    std::string m_bankDirectory[2];
    std::string m_exeFileName;
    int m_runningBank = 0;

    std::string m_userName;
    std::string m_password;
    uint64_t m_accountId = 0;
    std::string m_userPassKey;
    int m_paid = 0;
    bool m_freeToPlayCapped = false;
    bool m_userStopRaised = false;
    std::string m_errorExtra;
    uint64_t m_patchStartMs = 0;
    // Batch progress: packages in the batch and how many have finished.
    uint32_t m_batchPackages = 0;
    uint32_t m_packagesFinished = 0;

    std::shared_ptr<ResourceManager> m_resources;
    std::mutex m_queueLock;
    std::deque<std::pair<int, int>> m_events;
    CallbackEvent m_queueEvent;
};
