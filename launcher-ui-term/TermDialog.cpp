#include "TermDialog.h"

#include <cctype>

#include "InterfaceStrings.h"
#include "TextConvert.h"

namespace LarkTerm {

namespace {

using LarkUi::LanguageTable;

bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

bool HasControl(const std::u16string& text) {
    for (char16_t c : text)
        if (IsControl(c)) return true;
    return false;
}

std::u16string WithoutControls(const std::u16string& text) {
    std::u16string out;
    for (char16_t c : text)
        if (!IsControl(c)) out += c;
    return out;
}

// The window's fields drop every space typed into them.
std::u16string WithoutSpaces(std::u16string text) {
    std::erase(text, u' ');
    return text;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trimmed(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

// The launcher's 8-bit text as printable UTF-8.
std::string Shown(const std::string& ansi) {
    return Printable(LarkUi::Utf16ToUtf8(LarkUi::AnsiToUtf16(ansi)));
}

// A download limit in kilobits per second: digits only, at most 4294967295.
bool ParseLimit(const std::string& text, unsigned long& kbps) {
    if (text.empty() || text.size() > 10) return false;
    unsigned long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 0xFFFFFFFFull) return false;
    kbps = static_cast<unsigned long>(value);
    return true;
}

}  // namespace

TermDialog::TermDialog(DialogArgs args, LarkUi::CommandSink& commands, TermOutput& output)
    : m_args(std::move(args)),
      m_commands(commands),
      m_output(output),
      m_progress(output),
      m_store(m_args.registryKey, commands) {}

TermDialog::~TermDialog() { m_echo.Restore(); }

std::string TermDialog::Text(int id) const {
    return Printable(LarkUi::Utf16ToUtf8(LanguageTable::Instance().Text(id)));
}

std::string TermDialog::HelpText() {
    return "Commands (a line starting with \"/\"; not at the password prompt):\n"
           "  /help              this list\n"
           "  /quit              quit the launcher\n"
           "  /close             close the window (as its close box)\n"
           "  /settings          open the settings\n"
           "  /home              the home page\n"
           "  /register          the registration page\n"
           "  /account           the account page\n"
           "  /limit <kbps>      limit the download rate (0: no limit)\n"
           "  /remember on|off   remember the account name for the next start\n"
           "An empty line plays once the game is ready.";
}

void TermDialog::Open() {
    m_commands.Send("PreInitDialog");
    m_rememberedName = m_store.Load();
    m_accountField = m_rememberedName;
    m_remember = !m_rememberedName.empty();
    m_output.Line("Larkspur (type /help for the commands)");
    if (!m_args.eulaUrl.empty()) {
        ShowEula();
    } else {
        ShowLoginControls();
        m_commands.Send("InitDialog");
    }
}

void TermDialog::Close() {
    LeavePasswordStep();
    m_output.CloseStatus();
    SaveUserName();
}

void TermDialog::SaveUserName() {
    m_rememberedName = m_remember ? m_accountField : u"";
    m_store.Save(m_rememberedName);
}

void TermDialog::ShowEula() {
    m_mode = ModeEula;
    m_progress.Conceal();
    GotoPage(m_args.eulaUrl);
    m_promptPending = true;
}

void TermDialog::ShowLoginControls() {
    m_mode = ModeLogin;
    m_progress.Conceal();
    m_output.CloseStatus();
    LeavePasswordStep();
    m_accountField = m_remember ? m_rememberedName : u"";
    m_passwordField.clear();
    m_step = LS_Name;
    m_promptPending = true;
}

void TermDialog::ShowProgressControls() {
    if (m_mode == ModeProgress) return;
    m_mode = ModeProgress;
    LeavePasswordStep();
    m_step = LS_Sent;
    m_promptPending = false;
    m_rememberedName = m_remember ? m_accountField : u"";
    m_progress.Reset(Text(LarkUi::IDS_TOTAL_PROGRESS));
}

void TermDialog::ShowPromptIfNeeded() {
    bool wanted = m_mode == ModeEula || (m_mode == ModeLogin && m_step != LS_Sent);
    if (!wanted || m_quit || m_output.Hidden()) return;
    // On a terminal the prompt comes back whenever other output pushed it away.
    if (!m_promptPending && (!m_output.Terminal() || m_output.PromptShown())) return;
    m_promptPending = false;
    if (m_mode == ModeEula) {
        m_output.Prompt("[" + Text(LarkUi::IDS_ACCEPT) + "/" + Text(LarkUi::IDS_DECLINE) + "] ");
    } else if (m_step == LS_Name) {
        std::string prompt = Text(LarkUi::IDS_USERNAME_CUE);
        if (!m_accountField.empty())
            prompt += " [" + Printable(LarkUi::Utf16ToUtf8(m_accountField)) + "]";
        m_output.Prompt(prompt + " ");
    } else {
        m_output.Prompt(Text(LarkUi::IDS_PASSWORD_CUE) + " ");
    }
}

void TermDialog::OnLine(const std::string& line) {
    if (m_quit) return;
    // A password is taken as typed, even when it starts with "/".
    if (m_mode == ModeLogin && m_step == LS_Password) {
        OnPasswordLine(line);
        return;
    }
    m_output.TypedLine();
    std::string trimmed = Trimmed(line);
    if (!trimmed.empty() && trimmed[0] == '/') {
        OnCommandLine(trimmed);
        return;
    }
    switch (m_mode) {
        case ModeEula:
            OnEulaAnswer(trimmed);
            break;
        case ModeLogin:
            if (m_step == LS_Name) {
                OnNameLine(line);
            } else if (trimmed.empty() && m_playReady) {
                LoginAction();
            }
            break;
        case ModeProgress:
            // Before the game is ready an empty line does nothing, as the disabled button.
            if (trimmed.empty()) {
                if (m_playReady) LoginAction();
            } else {
                m_output.Line("Type /help for the commands.");
            }
            break;
        case ModeInitial:
            break;
    }
}

void TermDialog::OnEulaAnswer(const std::string& answer) {
    std::string lower = Lower(answer);
    if (lower == "a" || lower == Lower(Text(LarkUi::IDS_ACCEPT))) {
        LoginAction();
    } else if (lower == "d" || lower == Lower(Text(LarkUi::IDS_DECLINE))) {
        // Declining ends the window without a command.
        m_quit = true;
    } else {
        m_output.Line("Please answer " + Text(LarkUi::IDS_ACCEPT) + " or " +
                      Text(LarkUi::IDS_DECLINE) + ".");
        m_promptPending = true;
    }
}

void TermDialog::OnNameLine(const std::string& line) {
    std::u16string name = WithoutSpaces(LarkUi::Utf8ToUtf16(line));
    if (HasControl(name)) {
        m_output.Line("The account name may not contain control characters; please type it again.");
        m_promptPending = true;
        return;
    }
    if (!name.empty()) {
        m_accountField = name;
    } else if (m_accountField.empty()) {
        m_output.Line("Please type your account name.");
        m_promptPending = true;
        return;
    }
    EnterPasswordStep();
}

void TermDialog::OnPasswordLine(const std::string& line) {
    LeavePasswordStep();
    m_passwordField = WithoutSpaces(LarkUi::Utf8ToUtf16(line));
    m_step = LS_Sent;
    LoginAction();
}

void TermDialog::EnterPasswordStep() {
    m_step = LS_Password;
    m_promptPending = true;
    m_echo.Disable(m_args.inputDescriptor);
}

void TermDialog::LeavePasswordStep() {
    if (m_step != LS_Password) return;
    if (m_echo.Active()) {
        m_echo.Restore();
        // The line end typed after the password was not echoed either.
        m_output.EndHiddenLine();
    }
    m_step = LS_Name;
}

void TermDialog::LoginAction() {
    switch (m_mode) {
        case ModeEula:
            m_commands.Send("InitDialog");
            ShowLoginControls();
            break;
        case ModeLogin:
        case ModeProgress:
            m_commands.Send(m_playReady ? "Play" : "Login");
            break;
        case ModeInitial:
            break;
    }
}

void TermDialog::SendClose() {
    // The launcher normally leaves handled false and ends the window later itself.
    if (m_commands.Send("OnClose")) m_quit = true;
}

void TermDialog::OnInputEnd() {
    LeavePasswordStep();
    m_promptPending = false;
    if (m_closeSent) return;
    m_closeSent = true;
    m_output.CloseStatus();
    SendClose();
}

void TermDialog::OnCommandLine(const std::string& line) {
    size_t space = line.find_first_of(" \t");
    std::string word = line.substr(0, space);
    std::string argument = space == std::string::npos ? "" : Trimmed(line.substr(space));
    m_promptPending = true;
    if (word == "/help") {
        m_output.Line(HelpText());
    } else if (word == "/quit") {
        m_commands.Send("Quit");
    } else if (word == "/close") {
        SendClose();
    } else if (word == "/settings") {
        if (m_mode == ModeLogin || m_mode == ModeProgress) {
            m_commands.Send("ClickConfig");
        } else {
            m_output.Line("The settings cannot be opened now.");
        }
    } else if (word == "/home") {
        m_commands.Send("ClickHome");
    } else if (word == "/register") {
        m_commands.Send("ClickRegister");
    } else if (word == "/account") {
        m_commands.Send("ClickAccount");
    } else if (word == "/limit") {
        unsigned long kbps = 0;
        if (ParseLimit(argument, kbps)) {
            m_commands.Send("SetDownloadLimit|" + std::to_string(kbps));
        } else {
            m_output.Line("Usage: /limit <kbps> (a whole number; 0: no limit)");
        }
    } else if (word == "/remember") {
        std::string value = Lower(argument);
        if (value == "on" || value == "off") {
            // As a click on the check box.
            m_remember = value == "on";
            m_rememberedName = m_remember ? m_accountField : u"";
            m_output.Line(Text(LarkUi::IDS_REMEMBER_USERNAME) + ": " + value);
        } else {
            m_output.Line("Usage: /remember on|off");
        }
    } else {
        m_output.Line("Unknown command " + Printable(word) + "; /help lists the commands.");
    }
}

void TermDialog::GotoPage(const std::string& address) {
    if (address.empty()) {
        m_commands.LogToLauncher("Status", "No URL, error set!");
        return;
    }
    // The same log line as the window's navigation: here the page is shown as its address.
    m_commands.LogToLauncher("Status", "CPatchClientUIDlg::GotoPage() Navigate(%s)", address.c_str());
    m_output.Link("Page: ", Shown(address));
}

void TermDialog::GetUserNameAndPassword(std::u16string& userName, std::u16string& password) {
    // The launcher reserves the room it accepts; longer texts are cut to it.
    userName = m_accountField.substr(0, userName.capacity());
    m_rememberedName = m_remember ? m_accountField : u"";
    password = m_passwordField.substr(0, password.capacity());
    SaveUserName();
}

void TermDialog::ReportFileProgress(const char* fileName, unsigned percent, bool done) {
    std::u16string name = WithoutControls(LarkUi::AnsiToUtf16(fileName ? fileName : ""));
    std::u16string prefix =
        LanguageTable::Instance().Text(done ? LarkUi::IDS_SCANNING : LarkUi::IDS_PATCHING);
    m_fileOverlay = Printable(LarkUi::Utf16ToUtf8(LarkUi::FileProgressText(prefix, name)));
    m_progress.SetFile(m_fileOverlay, percent);
}

void TermDialog::ReportTotalProgress(unsigned percent, uint64_t nowMs) {
    m_progress.SetTotal(percent, nowMs);
}

void TermDialog::SetFileOverlay(int stringId) {
    m_fileOverlay = Text(stringId);
    m_progress.SetFileOverlay(m_fileOverlay);
}

void TermDialog::LaunchingGameClient() {
    m_progress.SetTotalOverlay(Text(LarkUi::IDS_DOWNLOAD_COMPLETE));
    m_fileOverlay.clear();
    m_progress.SetFileOverlay(m_fileOverlay);
}

void TermDialog::ReadyToPlay() {
    if (m_playReady) return;
    m_playReady = true;
    m_output.Line(Text(LarkUi::IDS_PLAY) + " Press Enter to play.");
}

void TermDialog::Hide() {
    m_output.CloseStatus();
    m_output.SetHidden(true);
}

}  // namespace LarkTerm
