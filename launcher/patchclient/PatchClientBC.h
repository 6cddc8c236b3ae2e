// The patch client as the window bridge sees it: start from the launch options, relaunch from the
// other bank when the launcher's own files changed, and record which bank starts next time (the
// AppStart information: a file in the game root and a value in the user's registry store).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LaunchOptions.h"
#include "PatchClient.h"

class PatchClientBC : public PatchClient {
public:
    static constexpr const char* kAppStartFile = "AppStart.dat";
    static constexpr const char* kAppStartRegistryKey = "Software\\Halcyra\\StarterApp";
    // The launcher's log file in its working folder; the relaunched process re-creates it in the
    // other bank at its start, which is the sign of life the relaunch waits for.
    static constexpr const char* kLauncherLogFile = "LarkLauncher.Log.txt";
    static constexpr uint32_t kSignOfLifeLimitMs = 10000;

    explicit PatchClientBC(std::string exePath);

    // The window's start: checks -r, initialises, and signs in at once for a relaunch.
    void InitializePatchClient(const std::string& appStartValueName, const LaunchOptions& options);
    // Writes the AppStart information for the bank this launcher runs from.
    void RewriteAppStartInfo();
    // Writes `text` to the file `path` and to the registry value; false when both failed.
    bool WriteAppStartFile(const std::string& path, const std::string& text);

    // "./PatchClient/BankB/LarkLauncher -r" with " -1" and " -s" as they apply.
    std::string AppStartText(const std::string& bankDirectory) const;
    // The relaunch command line as the log shows it (pass key masked, no session id).
    static std::string MaskedCommandLine(const std::string& bankDirectory, const std::string& exeFileName,
                                         uint64_t accountId, const std::string& accountName);
    const LaunchOptions& Options() const { return m_options; }
    // The process id of the launcher started from the other bank; 0 when none was started.
    uint32_t RelaunchedProcessId() const { return m_relaunchedProcessId; }

protected:
    void OnPCStateChange(int state) override;
    void OnPCNeedRestart(const std::string& root, const std::string& bankDirectory,
                         const std::string& exeFileName, uint64_t accountId, const std::string& passKey,
                         const std::string& accountName) override;

    // Starts the new launcher: 0 and its process id, or the system's error number.
    virtual int StartProcess(const std::string& path, const std::vector<std::string>& arguments,
                             const std::string& workingDirectory, uint32_t* processId);
    // Waits, at most kSignOfLifeLimitMs, until the new launcher shows that it runs; true then.
    virtual bool WaitForSignOfLife(uint32_t processId, const std::string& bankDirectory);
    // The registry store the AppStart value goes to.
    virtual std::string RegistryStorePath() const;

private:
    std::string m_appStartValueName;
    LaunchOptions m_options;
    uint32_t m_relaunchedProcessId = 0;
};
