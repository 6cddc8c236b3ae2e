#include "PatchClientUI.h"

#include <cstdio>

#include "FailSafeUpdate.h"
#include "HYCrashHandler.h"
#include "LanguageFile.h"
#include "LauncherLog.h"
#include "LogMessage.h"
#include "OsFile.h"
#include "OsHost.h"
#include "OsProcess.h"
#include "StartupLog.h"
#include "WindowLibrary.h"

namespace {

constexpr const char* kConfigFile = "PatchConfig.xml";
constexpr const char* kLanguageFile = "Lang.txt";
// Kept beside the game root's language file; the window bridge re-creates it.
constexpr const char* kNoLangChangeMarker = "../../NoLangChange.txt";

// The directory part of the program path; the file-system root when the program sits there.
std::string DirectoryOf(const std::string& exePath) {
    std::string directory = HY_OS::DirectoryPart(exePath);
    if (directory.empty() && !exePath.empty() && exePath[0] == '/') return "/";
    return directory;
}

// The crash handler is in place before anything else of the launcher runs.
const bool g_crashHandlerInstalled = (HYCrashHandler::Install(), true);

}  // namespace

CPatchClientUIApp::CPatchClientUIApp() { HYCrashHandler::Install(); }

bool CPatchClientUIApp::InitInstance(int argc, char** argv) {
    std::string exePath = HY_OS::GetExecutablePath();
    std::string exeDirectory = DirectoryOf(exePath);
    std::string exeFileName = HY_OS::FileNamePart(exePath);

    LaunchOptions options = ParseLaunchOptions(argc, argv);

    m_config.Language =
        ReadLanguageName(HY_OS::JoinPath(GameRootOf(exeDirectory), kLanguageFile));
    HY_OS::DeleteFile(kNoLangChangeMarker);

    m_patchInterface = std::make_unique<CPatchInterface>(exePath, options);

    // A relaunch hands over a user id and must not be stopped by the copy that is handing over.
    if (options.userId == 0) {
        uint32_t running = HY_OS::FindProcessByExecutableName(exeFileName, HY_OS::GetProcessId());
        if (running != 0) {
            WindowLibrary::Instance().GuardedCall<decltype(IFnAlreadyRunning)>(
                "Already Running", WindowExports::kAlreadyRunning);
            HY_OS::BringProcessWindowsToFront(running);
            return false;
        }
    }

    if (!HY_OS::SetCurrentDirectory(exeDirectory)) {
        std::fputs("HYPatchClient: Setting current directory failed.\n", stderr);
        return false;
    }

    HYLog::ResetLogStatistics();
    HYLog::StartLauncherLog(HYLog::kLauncherLogFile);
    RunLoggedSteps(exePath, exeDirectory);
    uint32_t successor = m_patchInterface->RelaunchedProcessId();
    // Sessions, sockets and download threads end with the bridge, before the log is flushed.
    m_patchInterface.reset();
    HYLog::StopLogging();
    // The launcher started from the other bank carries on in this terminal; this process stays
    // as its parent, reading nothing, and ends with it.
    if (successor != 0) {
        int exitCode = 1;
        if (HY_OS::WaitForProcess(successor, &exitCode)) m_exitCode = exitCode;
    }
    return false;
}

void CPatchClientUIApp::RunLoggedSteps(const std::string& exePath,
                                       const std::string& exeDirectory) {
    if (!m_config.LoadFile(kConfigFile)) {
        STARTUP_LOG(LL_Error, "Configuration file read error.\n");
        return;
    }

    if (!m_config.FailSafeURL.empty() &&
        RunFailSafeUpdateCheck(m_config.FailSafeURL, exePath, exeDirectory) == FS_PatchStarted) {
        return;
    }

    WindowLibrary& window = WindowLibrary::Instance();
    // Without the window library there is no window to show; start-up ends after the message.
    if (!window.GuardedCall<decltype(IFnInitialize)>("Initialize", WindowExports::kInitialize,
                                                     m_patchInterface->ExeBaseName(),
                                                     m_config.Language)) {
        return;
    }
    m_patchInterface->InstallTickWaitSource();
    window.GuardedCall<decltype(IFnShowUI)>(
        "Show UI", WindowExports::kShowUI, m_config.Skin, CPatchInterface::OsCode(), false,
        m_config.GameSpecificRegistry, m_config.EulaURL,
        m_patchInterface->CommandDelegatePointer());
}
