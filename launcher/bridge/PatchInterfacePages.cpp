// The bridge's pages and the patch client's user-interface callbacks: which page the window shows
// for each state, the error pages, and the progress shown in the window.
#include <fstream>
#include <sstream>

#include "LogMessage.h"
#include "OsFile.h"
#include "OsTime.h"
#include "PatchClientConfig.h"
#include "PatchInterface.h"
#include "WindowCalls.h"

namespace {

constexpr const char* kCategory = "PATCH_CLIENT";
constexpr const char* kStateCategory = "CURRENT_STATE";
// Start-up deletes this marker; it is set again whenever the launcher is busy.
constexpr const char* kNoLangChangeMarker = "../../NoLangChange.txt";
constexpr const char* kWorldDataPackages[] = {"Player-WorldData", "Mob-WorldData", "Ship-WorldData",
                                              "Sound-WorldData"};

bool IsPatchingState(int state) { return state == ST_LeadPatching || state == ST_GamePatching; }

}  // namespace

std::string CPatchInterface::MaskedForLog(const std::string& text) {
    // Every web session id is a sign-in token and stays out of the log.
    static constexpr char kKey[] = "jsessionid=";
    std::string masked;
    size_t from = 0;
    for (size_t at; (at = text.find(kKey, from)) != std::string::npos;) {
        masked.append(text, from, at - from).append(kKey).append("***");
        from = text.find_first_of("&#) \"'", at);
        if (from == std::string::npos) return masked;
    }
    return masked.append(text, from, std::string::npos);
}

std::string CPatchInterface::AutoLoginAddress(const std::string& address, const std::string& webSessionId) {
    std::string rewritten = address;
    size_t scheme = rewritten.find("//");
    if (scheme != std::string::npos) {
        size_t slash = rewritten.find('/', scheme + 2);
        if (slash != std::string::npos) rewritten.insert(slash + 1, "autologin/");
    }
    rewritten += rewritten.find('?') != std::string::npos ? "&" : "?";
    rewritten += "jsessionid=" + webSessionId;
    return rewritten;
}

void CPatchInterface::GotoPage(std::string address, PageKind kind, bool noAutoLogin) {
    if (!noAutoLogin && !WebSessionId().empty()) {
        address = AutoLoginAddress(address, WebSessionId());
        m_autoLoginDone = true;
    }
    m_currentPage = kind;
    HY_LOG(LL_Status, kCategory, "CPatchInterface::GotoPage", "GotoPage - %s", MaskedForLog(address).c_str());
    BRIDGE_WINDOW_CALL(m_window, GotoPage, address, noAutoLogin);
}

void CPatchInterface::InitDialog() {
    InitializePatchClient(Settings().AppStartRegistryKey, m_launchOptions);
    HY_LOG(LL_Status, kCategory, "CPatchInterface::InitDialog", "Loading webpages in default mode.");
    const std::string& news = Settings().NewsURL;
    std::string address = news;
    PageKind page = PK_News;
    if (m_freshInstall) {
        address += "/New" + GetUrlMessage("New", m_launchOptions.userId, false);
        page = PK_New;
    } else if (m_newPlayer && m_launchOptions.userId != 0 && !m_launchOptions.passKey.empty()) {
        m_currentState = "Restarted";
        address += "/New/patching" + GetUrlMessage("patching", m_launchOptions.userId, false);
        page = PK_Patching;
    } else if (m_launchOptions.paidAccount) {
        address += "/Paid";
        page = PK_Paid;
    }
    HY_LOG(LL_Status, kCategory, "CPatchInterface::InitDialog", "Visiting URL: %s", address.c_str());
    if (news.empty()) {
        HY_LOG(LL_Warning, kCategory, "CPatchInterface::InitDialog", "%s: No news URL has been defined.",
               "CPatchInterface::InitDialog");
        return;
    }
    HY_LOG(LL_Status, kCategory, "CPatchInterface::InitDialog", "CPatchInterface::InitDialog() GotoPage(%s)",
           address.c_str());
    GotoPage(address, page, false);
}

void CPatchInterface::OnPCStateChange(int state) {
    if (state < ST_LeadCopying)
        m_currentState = "Unauthen";
    else
        m_currentState = UserAccountName().empty() ? "Validated" : "Authen";
    HY_LOG(LL_Status, kStateCategory, "CPatchInterface::OnPCStateChange",
           "CPatchInterface::OnPCStateChange() m_currentState='%s', a_newState=%d.", m_currentState.c_str(), state);

    // The download time counts the stretches spent patching.
    uint64_t now = HY_OS::GetMonotonicMs();
    if (m_downloadStartMs != 0) m_downloadMs += now - m_downloadStartMs;
    m_downloadStartMs = IsPatchingState(state) ? (now != 0 ? now : 1) : 0;

    PatchClientBC::OnPCStateChange(state);
    if (state != ST_Ready) {
        if (!HY_OS::FileExists(kNoLangChangeMarker)) HY_OS::WriteFileAtomic(kNoLangChangeMarker, std::string());
        HY_OS::SetLastWriteTimeMs(kNoLangChangeMarker, static_cast<int64_t>(HY_OS::GetTimeMs()));
    }
}

void CPatchInterface::OnPCPrepareGamePatch() {
    const std::string path = Root() + BatchPatcher::kLocalPackagesList;
    std::string text;
    HY_OS::ReadWholeFile(path, text);
    std::string added;
    for (const char* package : kWorldDataPackages) {
        bool listed = false;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) listed = listed || line == package;
        if (!listed) added += std::string(package) + "\n";
    }
    if (added.empty()) return;
    // A list whose last line lacks its line feed gets one, so no name runs into the next.
    if (!text.empty() && text.back() != '\n') text += '\n';
    // Replaced as a whole, so an interrupted write never leaves a cut list behind.
    if (!HY_OS::WriteFileAtomic(path, text + added))
        HY_LOG(LL_Error, kCategory, "CPatchInterface::OnPCPrepareGamePatch", "Fail to write %s", path.c_str());
}

void CPatchInterface::OnPCUserStopped() { BRIDGE_WINDOW_CALL(m_window, PostQuitMessage); }

void CPatchInterface::PostQuit() { BRIDGE_WINDOW_CALL(m_window, PostQuitMessage); }

void CPatchInterface::OnPCErrorStopped(int errorCode, const std::string&) {
    if (errorCode != 0) OnDisplayErrorMessage(errorCode);
    BRIDGE_WINDOW_CALL(m_window, ShowLoginControls);
}

int CPatchInterface::VerifyOS() {
    int code = SystemOsCode();
    if (code == 0 || code == 1 || (code >= 108 && code <= 114)) return 0;
    HY_LOG(LL_Error, "PLAT_NET", "CPatchInterface::VerifyOS", "Unsupported OS %d", code);
    return PCE_UnsupportedOS;
}

void CPatchInterface::OnDisplayErrorMessage(int errorCode) {
    BRIDGE_WINDOW_CALL(m_window, HomeButtonFocus);
    if (errorCode == 0) return;
    if (errorCode == PCE_EmptyNameOrPassword) PauseMs(1000);
    const char* suffix = errorCode == 149 ? "a" : "";
    std::string code = std::to_string(errorCode);
    std::string address = Settings().PatchErrorURL + code + suffix;
    m_currentState = "Error" + code;
    HY_LOG(LL_Status, kStateCategory, "CPatchInterface::OnDisplayErrorMessage",
           "CPatchInterface::OnDisplayErrorMessage() m_currentState='%s'.", m_currentState.c_str());
    address += GetUrlMessage(code, 0, true);
    HY_LOG(LL_Status, kCategory, "CPatchInterface::OnDisplayErrorMessage",
           "CPatchInterface::OnDisplayErrorMessage() GotoPage(%s)", address.c_str());
    GotoPage(address, PK_Error, true);
}

void CPatchInterface::PauseMs(uint32_t ms) { HY_OS::SleepMs(ms); }

void CPatchInterface::ReportFileDone(const std::string& fileName) {
    BRIDGE_WINDOW_CALL(m_window, ReportFileProgress, fileName.c_str(), 100u, true);
}

void CPatchInterface::OnReportFileProgressToUI(const std::string& text, int percent) {
    m_currentState = "File/" + text;
    m_fileProgress = percent;
    HY_LOG(LL_Status, kStateCategory, "CPatchInterface::OnReportFileProgressToUI",
           "CPatchInterface::OnReportFileProgressToUI() m_currentState='%s', m_fileProgress=%d.",
           m_currentState.c_str(), m_fileProgress);
    BRIDGE_WINDOW_CALL(m_window, ReportFileProgress, text.c_str(), static_cast<unsigned>(percent), false);
}

void CPatchInterface::OnReportTotalProgressToUI(int percent) {
    m_totalProgress = percent;
    HY_LOG(LL_Status, kStateCategory, "CPatchInterface::OnReportTotalProgressToUI",
           "CPatchInterface::OnReportTotalProgressToUI() m_totalProgress=%d.", m_totalProgress);
    BRIDGE_WINDOW_CALL(m_window, ReportTotalProgress, static_cast<unsigned>(percent));
}

void CPatchInterface::ShowLoginControls() { BRIDGE_WINDOW_CALL(m_window, ShowLoginControls); }

void CPatchInterface::ShowProgressControls() { BRIDGE_WINDOW_CALL(m_window, ShowProgressControls); }

void CPatchInterface::OnReportPatchingStateToUI(int state) {
    switch (state) {
        case ST_VerifyingUser: BRIDGE_WINDOW_CALL(m_window, ConnectToLogin); break;
        case ST_LeadPatching:
        case ST_GamePatching: BRIDGE_WINDOW_CALL(m_window, PatchingPatchClient); break;
        case ST_Completed: BRIDGE_WINDOW_CALL(m_window, LaunchingGameClient); break;
        case ST_LaunchingNewPatchClient: BRIDGE_WINDOW_CALL(m_window, LaunchingNewPatchClient); break;
        default: break;
    }
    bool consider = IsPatchingState(state) || (!m_autoLoginDone && !WebSessionId().empty());
    if (!consider || (m_currentPage == PK_Patching && m_autoLoginDone)) return;
    // Without a news address there is no page to show for a state.
    if (Settings().NewsURL.empty()) return;

    std::string address = Settings().NewsURL;
    PageKind page = PK_News;
    bool show = true;
    if (m_newPlayer) {
        address += "/New/patching" + GetUrlMessage("patching", 0, false);
        page = PK_Patching;
    } else if (IsPaid()) {
        show = !(m_currentPage == PK_Paid && m_autoLoginDone);
        address += "/Paid";
        page = PK_Paid;
        if (!m_launchOptions.paidAccount) {
            // Later starts pass the paying flag on their command line.
            RewriteAppStartInfo();
            m_launchOptions.paidAccount = true;
        }
    } else {
        show = !(m_currentPage == PK_News && m_autoLoginDone);
        if (m_launchOptions.paidAccount) {
            RewriteAppStartInfo();
            m_launchOptions.paidAccount = false;
        }
    }
    if (!show) return;
    HY_LOG(LL_Status, kCategory, "CPatchInterface::OnReportPatchingStateToUI",
           "CPatchInterface::OnReportPatchingStateToUI() GotoPage(%s)", address.c_str());
    GotoPage(address, page, false);
}
