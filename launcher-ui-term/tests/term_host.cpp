// A small launcher stand-in for the terminal front-end's tests: loads the library by path as the
// launcher does, prints every command it receives ("> " lines) and reacts as the launcher would:
// on "Login" it reads the names back and shows the progress of a few files, one step per "Tick",
// then says the game is ready; "Play", "Quit" and (on the next Tick) "OnClose" end the window.
//
// term_host <library> [options]
//   --eula <address>     licence address        --key <key>          the user-name key
//   --lang <dir> <name>  the ".lang" file        --already-running    only IFnAlreadyRunning
//   --wait               use a wait source (a pipe and a timeout)
//   --poke               write one byte to the wait pipe before the window opens
//   --quiet-ms <ms>      end the window after this long and print the Ticks before that
//   --period-ms <ms>     the wait source's timeout between Ticks
//   --fail-login         answer the first "Login" with the login controls again
//   --quit-on-login      end the window on "Login"; then print what standard input still holds
//   --ignore-close       do not end the window on "OnClose"
//   --report-echo        print the terminal's echo setting whenever it changes
//   --stepwise           one progress step per Tick (otherwise all of them on "Login")
//   --exit-in-password   call exit() from a Tick while the terminal's echo is off
//   --hide-on-play       on "Play", hide the window and show one more page before ending it
#include <dlfcn.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <string>

#include "WindowLibraryExports.h"

namespace {

namespace S = WindowExportSymbols;

void* g_library = nullptr;

template <typename F>
F* Bind(const char* symbol) {
    void* address = dlsym(g_library, symbol);
    if (!address) {
        std::fprintf(stderr, "term_host: %s missing\n", symbol);
        std::exit(3);
    }
    return reinterpret_cast<F*>(address);
}

struct Options {
    std::string eula, key = "Software\\Halcyra\\Larkspur", langDir, langName;
    bool alreadyRunning = false, wait = false, poke = false, failLogin = false;
    bool quitOnLogin = false, ignoreClose = false, reportEcho = false;
    bool stepwise = false, hideOnPlay = false, exitInPassword = false;
    long quietMs = 0, periodMs = -1;
};

Options g_options;
int g_pipe[2] = {-1, -1};
long g_ticks = 0;
bool g_closeRequested = false;
bool g_loginFailed = false;
int g_echo = -1;
std::deque<std::function<void()>> g_steps;
std::chrono::steady_clock::time_point g_start;

long ElapsedMs() {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - g_start)
                                 .count());
}

void Say(const std::string& text) {
    std::printf("> %s\n", text.c_str());
    std::fflush(stdout);
}

int TimeoutMs(void*) {
    if (!g_steps.empty() || (g_closeRequested && !g_options.ignoreClose)) return 0;
    long timeout = g_options.periodMs;
    if (g_options.quietMs > 0) {
        long left = std::max(0L, g_options.quietMs - ElapsedMs());
        timeout = timeout < 0 ? left : std::min(timeout, left);
    }
    return static_cast<int>(timeout);
}

void QueueProgress() {
    g_steps.push_back([] { Bind<decltype(IFnShowProgressControls)>(S::kShowProgressControls)(); });
    g_steps.push_back([] { Bind<decltype(IFnConnectToLogin)>(S::kConnectToLogin)(); });
    g_steps.push_back([] { Bind<decltype(IFnPatchingPatchClient)>(S::kPatchingPatchClient)(); });
    auto file = Bind<decltype(IFnReportFileProgress)>(S::kReportFileProgress);
    auto total = Bind<decltype(IFnReportTotalProgress)>(S::kReportTotalProgress);
    g_steps.push_back([file] { file("Data/Root.wad", 50, false); });
    g_steps.push_back([total] { total(40); });
    g_steps.push_back([file] { file("Data/Root.wad", 100, true); });
    g_steps.push_back([file] { file("Data/Packages/Larkspur_Music_Vol1.wad", 30, false); });
    g_steps.push_back([file] { file("Data/evil\033[2J\033]0;owned\007.wad", 60, false); });
    g_steps.push_back([total] { total(100); });
    g_steps.push_back([] { Bind<decltype(IFnLaunchingGameClient)>(S::kLaunchingGameClient)(); });
    g_steps.push_back([] { Bind<decltype(IFnReadyToPlay)>(S::kReadyToPlay)(); });
}

void Quit() { Bind<decltype(IFnPostQuitMessage)>(S::kPostQuitMessage)(); }

void ReportEcho() {
    termios modes;
    if (tcgetattr(STDIN_FILENO, &modes) != 0) return;
    int echo = (modes.c_lflag & ECHO) ? 1 : 0;
    if (echo != g_echo) Say(echo ? "echo on" : "echo off");
    g_echo = echo;
}

void OnTick() {
    if (g_options.reportEcho) ReportEcho();
    if (g_options.exitInPassword && g_echo == 0) {
        Say("exiting");
        std::exit(0);
    }
    if (g_pipe[0] >= 0) {
        char byte;
        // The pipe is non-blocking: drain what was written.
        while (read(g_pipe[0], &byte, 1) == 1) {
        }
    }
    if (g_options.quietMs > 0 && ElapsedMs() >= g_options.quietMs) {
        Say("quiet ticks " + std::to_string(g_ticks));
        Quit();
        return;
    }
    ++g_ticks;
    if (g_closeRequested && !g_options.ignoreClose) {
        Quit();
        return;
    }
    if (!g_steps.empty()) {
        auto step = g_steps.front();
        g_steps.pop_front();
        step();
    }
    // The launcher sleeps 1 ms per Tick when the window has no wait source.
    if (!g_options.wait) usleep(1000);
}

void OnCommand(void*, ExeParams& params) {
    std::string command = params.command;
    if (command == "Tick") {
        OnTick();
        return;
    }
    Say(command);
    if (command == "Login") {
        std::u16string name, password;
        name.reserve(512);
        password.reserve(512);
        Bind<decltype(IFnGetUserNameAndPassword)>(S::kGetUserNameAndPassword)(name, password);
        std::string shown(name.begin(), name.end()), secret(password.begin(), password.end());
        Say("credentials " + shown + " password-length " + std::to_string(secret.size()) +
            (secret == "pass/word" ? " password-matches" : ""));
        if (g_options.quitOnLogin) {
            Quit();
        } else if (g_options.failLogin && !g_loginFailed) {
            g_loginFailed = true;
            Bind<decltype(IFnShowLoginControls)>(S::kShowLoginControls)();
        } else {
            QueueProgress();
            while (!g_options.stepwise && !g_steps.empty()) {
                g_steps.front()();
                g_steps.pop_front();
            }
        }
    } else if (command == "Play" && g_options.hideOnPlay) {
        Bind<decltype(IFnHideWindow)>(S::kHideWindow)();
        Bind<decltype(IFnGotoPage)>(S::kGotoPage)("http://127.0.0.1/after-hide", true);
        Quit();
    } else if (command == "Play" || command == "Quit") {
        Quit();
    } else if (command == "OnClose") {
        g_closeRequested = true;
    } else if (command == "InitDialog") {
        Bind<decltype(IFnGotoPage)>(S::kGotoPage)("http://127.0.0.1/news?x=1", false);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: term_host <library> [options]\n");
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        auto next = [&] { return i + 1 < argc ? std::string(argv[++i]) : std::string(); };
        if (arg == "--eula") g_options.eula = next();
        else if (arg == "--key") g_options.key = next();
        else if (arg == "--lang") { g_options.langDir = next(); g_options.langName = next(); }
        else if (arg == "--already-running") g_options.alreadyRunning = true;
        else if (arg == "--wait") g_options.wait = true;
        else if (arg == "--poke") g_options.poke = true;
        else if (arg == "--quiet-ms") g_options.quietMs = std::stol(next());
        else if (arg == "--period-ms") g_options.periodMs = std::stol(next());
        else if (arg == "--fail-login") g_options.failLogin = true;
        else if (arg == "--quit-on-login") g_options.quitOnLogin = true;
        else if (arg == "--ignore-close") g_options.ignoreClose = true;
        else if (arg == "--report-echo") g_options.reportEcho = true;
        else if (arg == "--stepwise") g_options.stepwise = true;
        else if (arg == "--exit-in-password") g_options.exitInPassword = true;
        else if (arg == "--hide-on-play") g_options.hideOnPlay = true;
        else {
            std::fprintf(stderr, "term_host: unknown option %s\n", arg.c_str());
            return 2;
        }
    }
    g_library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!g_library) {
        std::fprintf(stderr, "term_host: %s\n", dlerror());
        return 3;
    }
    if (g_options.alreadyRunning) {
        Bind<decltype(IFnAlreadyRunning)>(S::kAlreadyRunning)();
        return 0;
    }
    if (!g_options.langName.empty())
        Bind<decltype(IFnInitialize)>(S::kInitialize)(g_options.langDir, g_options.langName);
    if (g_options.wait) {
        if (pipe(g_pipe) != 0) return 4;
        fcntl(g_pipe[0], F_SETFL, O_NONBLOCK);
        TickWaitSource source{g_pipe[0], &TimeoutMs, nullptr};
        Bind<decltype(IFnSetTickWaitSource)>(S::kSetTickWaitSource)(source);
        if (g_options.poke && write(g_pipe[1], "x", 1) != 1) return 4;
    }
    CommandDelegate commands;
    commands.function = &OnCommand;
    g_start = std::chrono::steady_clock::now();
    Bind<decltype(IFnShowUI)>(S::kShowUI)("", 105, false, g_options.key, g_options.eula, &commands);
    Say("window ended ticks " + std::to_string(g_ticks));
    if (g_options.reportEcho) {
        g_echo = -1;
        ReportEcho();
    }
    if (g_options.quitOnLogin) {
        // Whatever the window did not read is still there for the next reader.
        std::string rest;
        char byte;
        while (read(STDIN_FILENO, &byte, 1) == 1) rest += byte;
        Say("rest " + rest);
    }
    return 0;
}
