// The end of a run: the game's command line once the patch is complete, the game's start, and the
// usage reports.
#include <cerrno>
#include <cstdio>

#include "GameLaunch.h"
#include "LogMessage.h"
#include "OsEnv.h"
#include "OsFile.h"
#include "OsProcess.h"
#include "OsTime.h"
#include "PatchClientConfig.h"
#include "PatchInterface.h"
#include "UsageReport.h"
#include "WindowCalls.h"

namespace {

constexpr const char* kCategory = "PATCH_CLIENT";
constexpr uint32_t kStartupPollMs = 50;

}  // namespace

void CPatchInterface::OnPCCompleted(const std::string& root, const std::string& binDirectory,
                                    const std::string& gameExecutable, const std::string& commandLine,
                                    const std::string& language, uint64_t accountId, const std::string& passKey,
                                    const std::string& accountName) {
    HY_LOG(LL_Status, kCategory, "CPatchInterface::OnPCCompleted", "Patch completed.");
    OnReportTotalProgressToUI(100);
    if (m_newPlayer && !m_readyToPlay && !Settings().NewsURL.empty()) {
        std::string address = Settings().NewsURL + "/New/patchComplete" + GetUrlMessage("patchComplete", 0, true);
        HY_LOG(LL_Status, kCategory, "CPatchInterface::OnPCCompleted", "CPatchInterface::OnPCCompleted() GotoPage(%s)",
               address.c_str());
        GotoPage(address, PK_PatchComplete, false);
    }
    m_readyToPlay = true;
    HY_LOG(LL_Status, kCategory, "CPatchInterface::OnPCCompleted", "Launching client in Windows mode");

    const unsigned long long id = static_cast<unsigned long long>(accountId);
    char line[kMaxGameCommandLine + 1];
    if (!language.empty())
        std::snprintf(line, sizeof line, "\"%s%s\" %s -A %s %s -U ..%llu %s %s", binDirectory.c_str(),
                      gameExecutable.c_str(), commandLine.c_str(), language.c_str(), "", id, passKey.c_str(),
                      accountName.c_str());
    else
        std::snprintf(line, sizeof line, "\"%s%s\" %s %s -U ..%llu %s %s", binDirectory.c_str(),
                      gameExecutable.c_str(), commandLine.c_str(), "", id, passKey.c_str(), accountName.c_str());
    m_gameCommandLine = line;
    char logForm[kMaxGameCommandLine + 1];
    std::snprintf(logForm, sizeof logForm, "CommandCommand: \"%s%s\" %s %s -U ..%llu ***", binDirectory.c_str(),
                  gameExecutable.c_str(), commandLine.c_str(), "", id);
    m_gameCommandLog = logForm;
    m_gameDirectory = binDirectory;
    (void)root;
    BRIDGE_WINDOW_CALL(m_window, ReadyToPlay);
}

void CPatchInterface::Play() {
    if (!m_readyToPlay) return;
    HY_LOG(LL_Status, kCategory, "CPatchInterface::Play", "Launching game client.");
    if (m_newPlayer && !Settings().SilentMetricsURL.empty()) SendUsageReportNamed("UserPlay", false);
    HY_LOG(LL_Status, kCategory, "CPatchInterface::Play", "Command: %s", m_gameCommandLog.c_str());

    std::string program;
    std::vector<std::string> arguments;
    uint32_t processId = 0;
    int error = ENOENT;
    std::unique_ptr<HY_OS::NamedEvent> event;
    if (GameProgramFor(SplitCommandLine(m_gameCommandLine), program, arguments)) {
        // The game arrives as a downloaded file, which the patcher writes without the execute
        // permission this system needs to start it.
        if (HY_OS::FileExists(program) && !HY_OS::IsDirectory(program)) HY_OS::MakeExecutable(program);
        // Made before the game starts, so a game that is up at once cannot set it too early.
        event = CreateStartupEvent();
        error = StartProcess(program, arguments, m_gameDirectory, &processId);
    }
    if (error != 0) {
        if (event) event->Remove();
        HY_LOG(LL_Error, "PLAT_NET", "CPatchInterface::Play", "Fail to start Game Client process");
        OnDisplayErrorMessage(105);
        return;
    }
    BRIDGE_WINDOW_CALL(m_window, HideWindow);
    WaitForGameStartup(processId, event.get());
    if (event) event->Remove();
    BRIDGE_WINDOW_CALL(m_window, PostQuitMessage);
}

std::unique_ptr<HY_OS::NamedEvent> CPatchInterface::CreateStartupEvent() {
    std::string name;
    if (!HY_OS::GetEnv(kStartupEventVariable, name) || name.empty()) name = kStartupEventName;
    std::unique_ptr<HY_OS::NamedEvent> event = HY_OS::NamedEvent::CreateFresh(name);
    if (!event)
        HY_LOG(LL_Error, kCategory, "CPatchInterface::CreateStartupEvent", "Fail to create the event %s (%d)",
               name.c_str(), errno);
    return event;
}

bool CPatchInterface::WaitForGameStartup(uint32_t processId, HY_OS::NamedEvent* event) {
    // A Windows game run through Wine sets its event inside Wine, where this one is not seen; its
    // wait ends at the limit.
    uint64_t start = HY_OS::GetMonotonicMs();
    while (HY_OS::GetMonotonicMs() - start < kGameStartupWaitMs) {
        if (event != nullptr ? event->WaitMs(kStartupPollMs) : (HY_OS::SleepMs(kStartupPollMs), false)) return true;
        // A game that has already ended will not set the event any more.
        int exitCode = 0;
        if (HY_OS::ProcessHasEnded(processId, &exitCode)) {
            if (event != nullptr && event->WaitMs(0)) return true;
            HY_LOG(LL_Warning, kCategory, "CPatchInterface::WaitForGameStartup",
                   "The game ended (exit code %d) before it signalled its start.", exitCode);
            return false;
        }
    }
    HY_LOG(LL_Warning, kCategory, "CPatchInterface::WaitForGameStartup",
           "The game did not signal its start within %u ms.", kGameStartupWaitMs);
    return false;
}

std::string CPatchInterface::GetUrlMessage(const std::string& name, uint64_t fallbackAccountId, bool downloadFigures) {
    UsageFacts facts;
    facts.newPlayer = m_newPlayer;
    facts.accountName = UserAccountName();
    facts.accountId = UserAccountId() != 0 ? UserAccountId() : fallbackAccountId;
    facts.hardwareAddress = m_hardwareAddress;
    facts.osText = OsText(SystemOsCode());
    facts.installDate = m_installDate;
    int64_t freeBytes = HY_OS::GetFreeDiskSpace(HY_OS::DirectoryPart(m_exePath));
    facts.freeDiskMiB = freeBytes > 0 ? static_cast<uint64_t>(freeBytes) >> 20 : 0;
    facts.memoryText = MemoryText();
    facts.processorText = ProcessorText();
    if (downloadFigures) {
        int seconds = DownloadSeconds();
        facts.secDown = seconds - m_previousSeconds;
        uint64_t bytes = DownloadedBytes();
        // The counters start again with a new download client; then all of it is new.
        facts.kbDown = (bytes >= m_previousBytes ? bytes - m_previousBytes : bytes) / 1024;
        m_previousSeconds = seconds;
        m_previousBytes = bytes;
    }
    facts.patchClientId = PatchClientId();
    facts.currentState = m_currentState;
    facts.fileProgress = m_fileProgress;
    facts.totalProgress = m_totalProgress;
    std::string text = FormatUsageReport(name, facts);
    HY_LOG(LL_Status, kCategory, "CPatchInterface::GetUrlMessage", "URL Message: %s", text.c_str());
    return text;
}

uint64_t CPatchInterface::DownloadedBytes() const {
    uint64_t bytes = 0;
    for (int session = 0; session < SessionCount(); ++session) bytes += SessionBytesReceived(session);
    return bytes;
}

int CPatchInterface::DownloadSeconds() const {
    uint64_t ms = m_downloadMs;
    if (m_downloadStartMs != 0) ms += HY_OS::GetMonotonicMs() - m_downloadStartMs;
    return static_cast<int>(ms / 1000);
}

void CPatchInterface::SendUsageReportNamed(const std::string& name, bool downloadFigures) {
    const std::string& metrics = Settings().SilentMetricsURL;
    if (metrics.empty()) return;
    SendReport(metrics + GetUrlMessage(name, 0, downloadFigures));
}

void CPatchInterface::SendReport(const std::string& address) { SendUsageReport(address); }
