// A small launcher stand-in for the Windows console window library: loads LarkLauncherUI.dll by
// path as the launcher does, prints every command it receives ("> " lines) and reacts as the
// launcher would. On "Login" it reads the names back ("> names <account> <password length>") and
// reports a sign-in and the progress of two files, then says the game is ready; "Play", "Quit"
// and "OnClose" end the window. At the end it prints how many Ticks came ("> ticks <n>").
//
// console_host <library> [--key <user-name key>] [--eula <address>]
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "WindowLibraryExports.h"

namespace {

namespace S = WindowExportSymbols;

HMODULE g_library = nullptr;
long g_ticks = 0;

template <typename F>
F* Bind(const char* symbol) {
    FARPROC address = GetProcAddress(g_library, symbol);
    if (address == nullptr) {
        std::fprintf(stderr, "console_host: %s missing\n", symbol);
        std::exit(3);
    }
    return reinterpret_cast<F*>(reinterpret_cast<void*>(address));
}

void Say(const std::string& text) {
    std::printf("> %s\n", text.c_str());
    std::fflush(stdout);
}

void OnLogin() {
    std::u16string name, password;
    name.reserve(512);
    password.reserve(512);
    Bind<decltype(IFnGetUserNameAndPassword)>(S::kGetUserNameAndPassword)(name, password);
    std::string shown;
    for (char16_t c : name) shown += c < 0x80 ? static_cast<char>(c) : '?';
    Say("names " + shown + " " + std::to_string(password.size()));
    Bind<decltype(IFnShowProgressControls)>(S::kShowProgressControls)();
    Bind<decltype(IFnConnectToLogin)>(S::kConnectToLogin)();
    auto file = Bind<decltype(IFnReportFileProgress)>(S::kReportFileProgress);
    auto total = Bind<decltype(IFnReportTotalProgress)>(S::kReportTotalProgress);
    file("Readme.txt", 100, false);
    total(50);
    file("Data/AnArchiveWithAVeryLongName.wad", 40, false);
    file("Data/AnArchiveWithAVeryLongName.wad", 100, true);
    total(100);
    Bind<decltype(IFnLaunchingGameClient)>(S::kLaunchingGameClient)();
    Bind<decltype(IFnReadyToPlay)>(S::kReadyToPlay)();
}

void OnCommand(void*, ExeParams& params) {
    std::string command = params.command;
    if (command == "Tick") {
        ++g_ticks;
        Sleep(1);
        return;
    }
    Say(command);
    if (command == "Login") {
        OnLogin();
    } else if (command == "Play" || command == "Quit" || command == "OnClose") {
        Bind<decltype(IFnPostQuitMessage)>(S::kPostQuitMessage)();
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: console_host <library> [--key <key>] [--eula <address>]\n");
        return 2;
    }
    std::string key = "Software\\Halcyra\\Larkspur", eula;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--key") == 0) key = argv[i + 1];
        if (std::strcmp(argv[i], "--eula") == 0) eula = argv[i + 1];
    }
    g_library = LoadLibraryA(argv[1]);
    if (g_library == nullptr) {
        std::fprintf(stderr, "console_host: cannot load %s (%lu)\n", argv[1], GetLastError());
        return 3;
    }
    Bind<decltype(IFnInitialize)>(S::kInitialize)("LarkLauncher", "English");
    CommandDelegate commands;
    commands.function = &OnCommand;
    Bind<decltype(IFnShowUI)>(S::kShowUI)("Larkspur.skf", 0, false, key, eula, &commands);
    Say("ticks " + std::to_string(g_ticks));
    return 0;
}
