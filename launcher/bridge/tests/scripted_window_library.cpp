// A window library for the launcher's end-to-end tests, driven by a script on standard input the
// way a player drives the window: a line with the account name and a line with the password
// whenever the login fields are shown, a line (Enter) once Play is offered; the end of the input
// closes the window. Standard input is read a byte at a time, so a launcher that hands over to
// its successor has read nothing meant for it. Every call of the launcher is printed as one line,
// prefixed with the bank the launcher runs from ("BankA: page http://...").
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "WindowLibraryExports.h"

#define SCRIPTED_EXPORT __attribute__((visibility("default")))

namespace {

enum Mode { kLogin, kProgress };

struct Window {
    CommandDelegate* commands = nullptr;
    Mode mode = kLogin;
    bool promptPending = false;
    bool playReady = false;
    bool quit = false;
    bool quitRequested = false;
    std::u16string name;
    std::u16string password;
};
Window g_window;

std::string Prefix() {
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "?: ";
    std::string exe(path, static_cast<size_t>(n));
    std::string folder = exe.substr(0, exe.rfind('/'));
    return folder.substr(folder.rfind('/') + 1) + ": ";
}

void Print(const std::string& line) {
    std::string text = Prefix() + line + "\n";
    (void)!::write(STDOUT_FILENO, text.data(), text.size());
}

bool Send(const char* command) {
    ExeParams params{command, false};
    if (g_window.commands) (*g_window.commands)(params);
    return params.handled;
}

// One line of standard input without its line feed; false at the end of the input.
bool ReadLine(std::string& line) {
    line.clear();
    char c;
    for (;;) {
        ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n <= 0) return !line.empty();
        if (c == '\n') return true;
        line += c;
    }
}

std::u16string Widen(const std::string& text) { return std::u16string(text.begin(), text.end()); }

}  // namespace

SCRIPTED_EXPORT void IFnAlreadyRunning() { Print("already-running"); }
SCRIPTED_EXPORT void IFnInitialize(const std::string&, const std::string& language) { Print("initialize " + language); }

SCRIPTED_EXPORT void IFnShowUI(const std::string&, int, bool, const std::string&, const std::string&,
                               CommandDelegate* commands) {
    g_window.commands = commands;
    Send("PreInitDialog");
    g_window.mode = kLogin;
    g_window.promptPending = true;
    Send("InitDialog");
    bool closing = false;
    while (!g_window.quit) {
        if (!closing && g_window.promptPending && g_window.mode == kLogin && !g_window.playReady) {
            g_window.promptPending = false;
            std::string name, password;
            Print("prompt");
            if (!ReadLine(name) || !ReadLine(password)) {
                closing = true;
                Print("close");
                Send("OnClose");
                continue;
            }
            g_window.name = Widen(name);
            g_window.password = Widen(password);
            Send("Login");
        } else if (!closing && g_window.promptPending && g_window.playReady) {
            g_window.promptPending = false;
            std::string enter;
            if (!ReadLine(enter) && enter.empty()) {
                closing = true;
                Print("close");
                Send("OnClose");
                continue;
            }
            Print("play");
            Send("Play");
        }
        if (g_window.quitRequested) {
            g_window.quitRequested = false;
            Print("quit-button");
            Send("Quit");
        }
        Send("Tick");
    }
    Print("window-closed");
}

SCRIPTED_EXPORT void IFnGotoPage(const std::string& address, bool) { Print("page " + address); }
SCRIPTED_EXPORT void IFnGetUserNameAndPassword(std::u16string& userName, std::u16string& password) {
    userName = g_window.name;
    password = g_window.password;
}
SCRIPTED_EXPORT void IFnShowLoginControls() {
    Print("show-login");
    g_window.mode = kLogin;
    g_window.promptPending = true;
}
SCRIPTED_EXPORT void IFnShowProgressControls() {
    if (g_window.mode != kProgress) Print("show-progress");
    g_window.mode = kProgress;
}
SCRIPTED_EXPORT void IFnReportFileProgress(const char* fileName, unsigned percent, bool done) {
    if (done || percent == 100) Print(std::string("file ") + fileName);
}
SCRIPTED_EXPORT void IFnReportTotalProgress(unsigned percent) {
    if (percent == 100) Print("total 100");
}
SCRIPTED_EXPORT void IFnConnectToLogin() { Print("logging-in"); }
// SCRIPTED_WINDOW_QUIT_WHEN_PATCHING set: the player presses Quit as soon as a patch starts.
SCRIPTED_EXPORT void IFnPatchingPatchClient() {
    Print("patching");
    if (std::getenv("SCRIPTED_WINDOW_QUIT_WHEN_PATCHING") != nullptr) g_window.quitRequested = true;
}
SCRIPTED_EXPORT void IFnLaunchingNewPatchClient() { Print("launching-new-patch-client"); }
SCRIPTED_EXPORT void IFnLaunchingGameClient() { Print("download-complete"); }
SCRIPTED_EXPORT void IFnReadyToPlay() {
    Print("ready-to-play");
    g_window.playReady = true;
    g_window.promptPending = true;
}
SCRIPTED_EXPORT void IFnHideWindow() { Print("hide"); }
SCRIPTED_EXPORT void IFnPostQuitMessage() {
    Print("quit");
    g_window.quit = true;
}
SCRIPTED_EXPORT void IFnHomeButtonFocus() {}
