// The window bridge: the patch client that the launcher window drives. It receives the window's
// command strings through a delegate (sign in, play, quit, open pages, log lines, the periodic
// "Tick"), turns the patch client's user-interface callbacks into calls of the window library's
// exports, decides which web page the window shows, builds the usage report appended to page
// addresses, and starts the game.
//
// Everything runs on the window's thread: commands arrive from the window's loop, and the patch
// client's callbacks from the "Main" loop, which the bridge runs once per "Tick".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <memory>

#include "LaunchOptions.h"
#include "OsNamedEvent.h"
#include "PatchClientBC.h"
#include "WindowLibrary.h"
#include "WindowLibraryExports.h"

class HYThread;
class PatchClientConfig;

// The kind of the page the window was last asked to show.
enum PageKind : int {
    PK_None = 0,
    PK_New = 1,
    PK_Patching = 2,
    PK_PatchComplete = 3,
    PK_News = 4,
    PK_Paid = 5,
    PK_Error = 6,
    PK_Static = 7,
    PK_StaticError = 8,
    PK_Firewall = 9,
};

class CPatchInterface : public PatchClientBC {
public:
    static constexpr uint32_t kGameStartupWaitMs = 10000;
    static constexpr const char* kStartupEventName = "HYStartupEvent";
    static constexpr size_t kMaxGameCommandLine = 519;
    // The settings program: the environment variable that names it, and its default file name
    // beside the launcher.
    static constexpr const char* kSettingsProgramVariable = "LARK_SETTINGS_PROGRAM";
    static constexpr const char* kDefaultSettingsProgram = "SetupPanel";
    // Names another start-up event than "HYStartupEvent" (tests running side by side).
    static constexpr const char* kStartupEventVariable = "LARK_STARTUP_EVENT";
    // Set to 1: the window is not handed the wait source, and sends "Tick" whenever it is idle.
    static constexpr const char* kIgnoreWaitSourceVariable = "LARK_IGNORE_TICK_WAIT_SOURCE";

    // `window` is the binding the bridge calls the window library through.
    CPatchInterface(const std::string& exePath, const LaunchOptions& options,
                    WindowLibrary& window = WindowLibrary::Instance());
    ~CPatchInterface() override;
    CPatchInterface(const CPatchInterface&) = delete;
    CPatchInterface& operator=(const CPatchInterface&) = delete;

    const std::string& ExePath() const { return m_exePath; }
    // The executable's file name without directory and extension.
    const std::string& ExeBaseName() const { return m_exeBaseName; }
    const LaunchOptions& GetLaunchOptions() const { return m_launchOptions; }

    // The delegate the window sends its commands through; bound to Execute.
    CommandDelegate* CommandDelegatePointer() { return &m_commandDelegate; }

    // One command from the window: the text split at every '|', empty pieces dropped. A command
    // with at least one piece is marked handled (a few commands clear the mark again).
    void Execute(ExeParams& params);

    // The operating-system code handed to the window: a native Linux build reports 0 ("LI").
    static int OsCode();
    // The pieces of a command text.
    static std::vector<std::string> SplitCommand(const char* text);
    // The rate of a "SetDownloadLimit|<kbps>" command: decimal digits only, at most 4194303 KB/s
    // (4 GiB/s); false for anything else.
    static bool ParseDownloadLimit(const std::string& text, uint32_t& kbps);

    // Shows `address` in the window. Unless `noAutoLogin` is set, an address is first rewritten
    // to sign the player in on the web site with the login's web session id, when one is known.
    void GotoPage(std::string address, PageKind kind, bool noAutoLogin);
    // The window's dialog is ready: starts the patch client and shows the first page.
    void InitDialog();
    // Hands a window that offers IFnSetTickWaitSource the "Main" loop's descriptor and next
    // time-out, so it sleeps until the loop has work instead of sending "Tick" without pause; the
    // bridge's "Tick" then no longer sleeps. True when the window took it.
    bool InstallTickWaitSource();
    // Starts the game once the patch is complete; otherwise does nothing.
    void Play();
    // The usage report named `name`; `fallbackAccountId` stands in for an unknown account id.
    // With `downloadFigures` the downloaded kilobytes and seconds since the last such report.
    std::string GetUrlMessage(const std::string& name, uint64_t fallbackAccountId, bool downloadFigures);

    // `text` with the value of every "jsessionid=" replaced by "***", for the log.
    static std::string MaskedForLog(const std::string& text);
    // The address with the autologin rewrite applied (see GotoPage).
    static std::string AutoLoginAddress(const std::string& address, const std::string& webSessionId);

    // What the tests and the start-up look at.
    PageKind CurrentPage() const { return m_currentPage; }
    const std::string& CurrentStateText() const { return m_currentState; }
    int FileProgress() const { return m_fileProgress; }
    int TotalProgress() const { return m_totalProgress; }
    bool ReadyToPlay() const { return m_readyToPlay; }
    bool NewPlayer() const { return m_newPlayer; }
    bool FreshInstall() const { return m_freshInstall; }
    bool AutoLoginDone() const { return m_autoLoginDone; }
    const std::string& InstallDate() const { return m_installDate; }
    const std::string& GameCommandLine() const { return m_gameCommandLine; }
    const std::string& GameCommandLog() const { return m_gameCommandLog; }
    const std::string& GameDirectory() const { return m_gameDirectory; }
    // The settings program's file: LARK_SETTINGS_PROGRAM, else "SetupPanel" beside the launcher.
    std::string SettingsProgram() const;

protected:
    // Patch client callbacks.
    void OnPCStateChange(int state) override;
    void OnPCPrepareGamePatch() override;
    void OnPCCompleted(const std::string& root, const std::string& binDirectory, const std::string& gameExecutable,
                       const std::string& commandLine, const std::string& language, uint64_t accountId,
                       const std::string& passKey, const std::string& accountName) override;
    void OnPCUserStopped() override;
    void OnPCErrorStopped(int errorCode, const std::string& extra) override;
    int VerifyOS() override;
    void OnDisplayErrorMessage(int errorCode) override;
    void PostQuit() override;
    void ReportFileDone(const std::string& fileName) override;
    void OnReportFileProgressToUI(const std::string& text, int percent) override;
    void OnReportTotalProgressToUI(int percent) override;
    void OnReportPatchingStateToUI(int state) override;
    void ShowLoginControls() override;
    void ShowProgressControls() override;

    // Seams of the outside world, replaced by the tests.
    // Sends a usage report to `address` (the metrics address with the report appended).
    virtual void SendReport(const std::string& address);
    // Opens a web address in the user's browser.
    virtual void OpenAddress(const std::string& address);
    // The start-up event the game sets once it is up, made afresh before the game starts;
    // nothing when it cannot be made (the wait then only watches the process).
    virtual std::unique_ptr<HY_OS::NamedEvent> CreateStartupEvent();
    // Waits, at most kGameStartupWaitMs, for the started game to set `event`; ends early when
    // the game has ended without setting it.
    virtual bool WaitForGameStartup(uint32_t processId, HY_OS::NamedEvent* event);
    // Pauses the window's thread (before error page 110).
    virtual void PauseMs(uint32_t ms);
    // The operating-system code VerifyOS and the pages go by.
    virtual int SystemOsCode() const { return OsCode(); }

private:
    static void ExecuteThunk(void* self, ExeParams& params);

    void PreInitDialog();
    void Tick();
    void ClickConfig();
    void Login();
    void LogFromWindow(const std::vector<std::string>& tokens);
    // "SetDownloadLimit|<kbps>": the download rate limit of every transfer (0: none).
    void SetDownloadLimit(const std::string& text);
    void OpenConfiguredAddress(const char* button, const std::string& address);
    // The page of the running bank's "web/<language>/<file>".
    std::string StaticPage(const std::string& file) const;
    // Sends the usage report `name` when the metrics address is set.
    void SendUsageReportNamed(const std::string& name, bool downloadFigures);
    // The bytes and seconds of downloading so far.
    uint64_t DownloadedBytes() const;
    int DownloadSeconds() const;
    static const PatchClientConfig& Settings();

    WindowLibrary& m_window;
    std::string m_exePath;
    std::string m_exeBaseName;
    LaunchOptions m_launchOptions;
    CommandDelegate m_commandDelegate;
    HYThread* m_thread = nullptr;

    std::string m_currentState = "Unauthenticated";
    int m_fileProgress = 0;
    int m_totalProgress = 0;
    PageKind m_currentPage = PK_None;
    bool m_autoLoginDone = false;
    bool m_newPlayer = false;
    bool m_freshInstall = false;
    bool m_readyToPlay = false;
    std::string m_installDate;
    std::string m_hardwareAddress;
    int m_previousSeconds = 0;
    uint64_t m_previousBytes = 0;
    // Download time: milliseconds spent in the patching states before the current stretch, and
    // when the current stretch began (0 while not patching).
    uint64_t m_downloadMs = 0;
    uint64_t m_downloadStartMs = 0;
    std::string m_gameCommandLine;
    std::string m_gameCommandLog;
    std::string m_gameDirectory;
    uint32_t m_settingsProcess = 0;
    bool m_tickWaitSource = false;
};

// The base name of a program path: the file name without its directory and extension.
std::string ExeBaseNameOf(const std::string& exePath);
