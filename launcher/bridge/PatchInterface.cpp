#include "PatchInterface.h"

#include <cerrno>

#include "DMLTextConvert.h"
#include "GameLaunch.h"
#include "HYInetAddress.h"
#include "HYTcpSocket.h"
#include "HYThread.h"
#include "LanguageFile.h"
#include "LogMessage.h"
#include "OsFile.h"
#include "OsFileInfo.h"
#include "OsEnv.h"
#include "OsHost.h"
#include "OsHttp.h"
#include "OsProcess.h"
#include "OsShell.h"
#include "OsTime.h"
#include "PatchClientConfig.h"
#include "UsageReport.h"
#include "WindowCalls.h"

namespace {

constexpr const char* kCategory = "PATCH_CLIENT";
constexpr const char* kLanguageFile = "Lang.txt";
// How long the start's probe of the login server may take before the window goes on.
constexpr int kLoginProbeMs = 1000;
// Room the window is given for the account name and the password.
constexpr size_t kCredentialCapacity = 512;
// The exit code a process reports while it still runs.
constexpr int kStillActive = 259;

// The level a "Log" command names; 0 for an unknown name.
int LogLevelNamed(const std::string& name) {
    static const struct {
        const char* name;
        int level;
    } kLevels[] = {{"Abort", LL_Abort},   {"Critical", LL_Critical}, {"Error", LL_Error},
                   {"Warning", LL_Warning}, {"Status", LL_Status},   {"DebugL", LL_DebugLow},
                   {"DebugM", LL_DebugMed}, {"DebugH", LL_DebugHigh}, {"Trace", LL_Trace}};
    for (const auto& entry : kLevels)
        if (name == entry.name) return entry.level;
    return 0;
}

// Opens a TCP connection to the login server and shuts its receiving side, exchanging nothing:
// the system's firewall asks about the launcher now rather than in the middle of the sign-in.
void ProbeLoginServer(const std::string& host, uint16_t port) {
    HYInetAddress address;
    if (host.empty() || address.SetAddress(host, port) != 0) return;
    HYTcpSocket socket;
    if (socket.Open() != 0) return;
    int started = socket.Connect(address);
    if (started == 1) started = socket.WaitConnected(kLoginProbeMs);
    if (started == 0) socket.ShutdownReceive();
    socket.Close(false);
}

// An account name is a single line of printable text: control characters are taken out.
std::string WithoutControlCharacters(const std::string& text) {
    std::string clean;
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) clean += c;
    return clean;
}

}  // namespace

std::string ExeBaseNameOf(const std::string& exePath) {
    std::string name = HY_OS::FileNamePart(exePath);
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

CPatchInterface::CPatchInterface(const std::string& exePath, const LaunchOptions& options, WindowLibrary& window)
    : PatchClientBC(exePath),
      m_window(window),
      m_exePath(exePath),
      m_exeBaseName(ExeBaseNameOf(exePath)),
      m_launchOptions(options),
      m_thread(HYThread::Current()) {
    m_commandDelegate.object = this;
    m_commandDelegate.function = &CPatchInterface::ExecuteThunk;
    m_commandDelegate.boundFile = __FILE__;
    m_commandDelegate.boundLine = __LINE__;
    SetWebSessionId(options.jSessionId);
}

CPatchInterface::~CPatchInterface() = default;

int CPatchInterface::OsCode() { return HY_OS::GetOsCode(); }

void CPatchInterface::ExecuteThunk(void* self, ExeParams& params) {
    static_cast<CPatchInterface*>(self)->Execute(params);
}

std::vector<std::string> CPatchInterface::SplitCommand(const char* text) {
    std::vector<std::string> tokens;
    if (text == nullptr) return tokens;
    std::string token;
    for (const char* p = text;; ++p) {
        if (*p == '|' || *p == '\0') {
            if (!token.empty()) tokens.push_back(std::move(token));
            token.clear();
            if (*p == '\0') break;
        } else {
            token.push_back(*p);
        }
    }
    return tokens;
}

bool CPatchInterface::ParseDownloadLimit(const std::string& text, uint32_t& kbps) {
    constexpr uint32_t kMaxKbps = 4194303;
    if (text.empty() || text.size() > 7) return false;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value > kMaxKbps) return false;
    kbps = value;
    return true;
}

const PatchClientConfig& CPatchInterface::Settings() { return *PatchClientConfig::Get(); }

void CPatchInterface::Execute(ExeParams& params) {
    std::vector<std::string> tokens = SplitCommand(params.command);
    if (tokens.empty()) return;
    params.handled = true;
    // The launcher reads its configuration before the window opens; without one there is
    // nothing to act on.
    if (PatchClientConfig::Get() == nullptr) return;
    const std::string& command = tokens.front();
    if (command == "Tick") {
        Tick();
    } else if (command == "PreInitDialog") {
        PreInitDialog();
    } else if (command == "InitDialog") {
        InitDialog();
    } else if (command == "BrowseFallBack") {
        HY_LOG(LL_Status, kCategory, "CPatchInterface::Execute", "CPatchInterface::Execute() GotoPage(%s), command='%s'",
               Settings().FallBackURL.c_str(), params.command);
        GotoPage(Settings().FallBackURL, PK_Error, true);
    } else if (command == "BrowseStatic") {
        GotoPage(StaticPage("default.html"), PK_Static, true);
    } else if (command == "BrowseStaticError") {
        if (GetState() == ST_Ready)
            GotoPage(StaticPage("error.html"), PK_StaticError, true);
        else
            params.handled = false;
    } else if (command == "BrowseFirewall") {
        GotoPage(StaticPage(SystemOsCode() == 108 ? "firewallVista.html" : "firewall.html"), PK_Firewall, true);
    } else if (command == "OnClose") {
        if (!m_readyToPlay && m_newPlayer) SendUsageReportNamed("UserClosed", true);
        Stop();
        params.handled = false;
    } else if (command == "ClickHome") {
        OpenConfiguredAddress("Home", Settings().HomeURL);
    } else if (command == "ClickConfig") {
        ClickConfig();
    } else if (command == "ClickRegister") {
        OpenConfiguredAddress("Register", Settings().RegistrationURL);
    } else if (command == "ClickAccount") {
        OpenConfiguredAddress("Manage Account", Settings().MyAccountURL);
    } else if (command == "Login") {
        Login();
    } else if (command == "Play") {
        Play();
    } else if (command == "Quit") {
        Stop();
    } else if (command == "Log") {
        LogFromWindow(tokens);
    } else if (command == "SetDownloadLimit") {
        SetDownloadLimit(tokens.size() > 1 ? tokens[1] : std::string());
    }
}

void CPatchInterface::PreInitDialog() {
    ProbeLoginServer(Settings().LoginHostname, Settings().LoginPort);
    std::string root = GameRootOf(HY_OS::DirectoryPart(m_exePath));
    if (!root.empty() && root.back() != '/') root += '/';
    m_newPlayer = !HY_OS::FileExists(root + BatchPatcher::kLocalPackagesList);
    // A fresh installation has no file of its own yet in the patch information folder.
    m_freshInstall = true;
    std::vector<HY_OS::DirectoryEntry> entries;
    std::string patchInfo = root + Settings().PatchInfoDirectory;
    if (HY_OS::ListDirectory(patchInfo, entries)) {
        for (const HY_OS::DirectoryEntry& entry : entries) {
            HY_OS::FileInfo info;
            if (HY_OS::GetFileInfo(HY_OS::JoinPath(patchInfo, entry.name), info) && info.isRegular) {
                m_freshInstall = false;
                break;
            }
        }
    }
    m_installDate = InstallDateText(root);
    m_hardwareAddress = HardwareAddressText();
}

void CPatchInterface::Tick() {
    if (m_thread != nullptr) m_thread->RunOnce(false, true);
    if (m_settingsProcess != 0) {
        int exitCode = kStillActive;
        if (HY_OS::ProcessHasEnded(m_settingsProcess, &exitCode) && exitCode != kStillActive) {
            m_settingsProcess = 0;
            // The settings program may have chosen another language.
            PatchClientConfig* config = PatchClientConfig::Get();
            if (config != nullptr)
                config->Language = ReadLanguageName(
                    HY_OS::JoinPath(GameRootOf(HY_OS::DirectoryPart(m_exePath)), kLanguageFile));
        }
    }
    // A window without the wait source sends "Tick" whenever it is idle; the pause bounds that.
    if (!m_tickWaitSource) HY_OS::SleepMs(1);
}

namespace {

int NextLoopTimeoutMs(void* thread) { return static_cast<HYThread*>(thread)->NextTimeoutMs(); }

}  // namespace

bool CPatchInterface::InstallTickWaitSource() {
    std::string ignore;
    if (HY_OS::GetEnv(kIgnoreWaitSourceVariable, ignore) && ignore == "1") return false;
    if (m_thread == nullptr) return false;
    // Optional: a window without it is not told about a missing export.
    BindFailure failure = BF_None;
    void* address = m_window.Resolve(WindowExports::kSetTickWaitSource, failure);
    if (address == nullptr) return false;
    int descriptor = m_thread->WaitDescriptor();
    if (descriptor < 0) return false;
    TickWaitSource source;
    source.descriptor = descriptor;
    source.timeoutMs = &NextLoopTimeoutMs;
    source.context = m_thread;
    reinterpret_cast<decltype(IFnSetTickWaitSource)*>(address)(source);
    m_tickWaitSource = true;
    return true;
}

std::string CPatchInterface::SettingsProgram() const {
    std::string program;
    if (HY_OS::GetEnv(kSettingsProgramVariable, program) && !program.empty()) return program;
    return HY_OS::JoinPath(HY_OS::DirectoryPart(m_exePath), kDefaultSettingsProgram);
}

void CPatchInterface::ClickConfig() {
    HY_LOG(LL_Status, kCategory, "CPatchInterface::Execute", "User clicked the **Config** Button");
    if (m_settingsProcess != 0) return;
    uint32_t processId = 0;
    std::string program = SettingsProgram();
    int error = StartProcess(program, {}, HY_OS::GetCurrentDirectory(), &processId);
    if (error != 0) {
        HY_LOG(LL_Error, kCategory, "CPatchInterface::Execute", "Fail to start %s (%d)", program.c_str(), error);
        return;
    }
    m_settingsProcess = processId;
}

void CPatchInterface::OpenConfiguredAddress(const char* button, const std::string& address) {
    HY_LOG(LL_Status, kCategory, "CPatchInterface::Execute", "User clicked the **%s** Button", button);
    if (!address.empty()) OpenAddress(address);
}

void CPatchInterface::OpenAddress(const std::string& address) {
    // Only web addresses are opened: the shell would run a program named by a file path.
    int error = HY_OS::OpenAddress(address);
    if (error != 0)
        HY_LOG(LL_Error, kCategory, "CPatchInterface::OpenAddress", "Fail to open %s (%d)", address.c_str(), error);
}

void CPatchInterface::Login() {
    std::u16string wideName, widePassword;
    wideName.reserve(kCredentialCapacity);
    widePassword.reserve(kCredentialCapacity);
    BRIDGE_WINDOW_CALL(m_window, GetUserNameAndPassword, wideName, widePassword);
    std::string name, password;
    if (!Utf16ToUtf8(wideName, name)) name.clear();
    if (!Utf16ToUtf8(widePassword, password)) password.clear();
    name = WithoutControlCharacters(name);
    bool started = Start(name, password);
    password.assign(password.size(), '\0');
    if (!started) OnDisplayErrorMessage(PCE_StartRefused);
}

void CPatchInterface::SetDownloadLimit(const std::string& text) {
    uint32_t kbps = 0;
    if (!ParseDownloadLimit(text, kbps)) {
        HY_LOG(LL_Error, kCategory, "CPatchInterface::Execute", "Download rate limit not changed: bad rate '%s'",
               text.c_str());
        return;
    }
    // One limit for every transfer of the process, running ones included.
    HY_OS::SetDownloadRateLimit(kbps);
    if (kbps == 0)
        HY_LOG(LL_Status, kCategory, "CPatchInterface::Execute", "Download rate limit removed");
    else
        HY_LOG(LL_Status, kCategory, "CPatchInterface::Execute", "Download rate limit set to %u KB/s", kbps);
}

void CPatchInterface::LogFromWindow(const std::vector<std::string>& tokens) {
    if (tokens.size() < 3) return;
    int level = LogLevelNamed(tokens[1]);
    if (level == 0) return;
    // The window's text is logged as it stands (a '%' in it is never read as a format), except
    // that a page address it names loses its web session id.
    HY_LOG(level, kCategory, "CPatchInterface::Execute", "%s", MaskedForLog(tokens[2]).c_str());
}

std::string CPatchInterface::StaticPage(const std::string& file) const {
    // The running bank is the launcher's own folder.
    return HY_OS::JoinPath(HY_OS::DirectoryPart(m_exePath), "web/" + Settings().Language + "/" + file);
}
