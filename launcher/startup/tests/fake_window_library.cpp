// A window library for tests: every export appends one line to the file named by the environment
// variable LARK_FAKE_UI_RECORD. IFnShowUI sends "Tick" through the launcher's delegate and then,
// when LARK_FAKE_UI_HOLD names a file, stays "open" until that file exists (at most 30 seconds).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "WindowLibraryExports.h"

#define FAKE_EXPORT __attribute__((visibility("default")))

namespace {

void Record(const std::string& line) {
    const char* path = std::getenv("LARK_FAKE_UI_RECORD");
    if (path == nullptr) return;
    if (std::FILE* file = std::fopen(path, "a")) {
        std::fprintf(file, "%d|%s\n", static_cast<int>(::getpid()), line.c_str());
        std::fclose(file);
    }
}

void WaitForHoldFile() {
    const char* hold = std::getenv("LARK_FAKE_UI_HOLD");
    if (hold == nullptr) return;
    for (int i = 0; i < 3000 && ::access(hold, F_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

}  // namespace

FAKE_EXPORT void IFnAlreadyRunning() { Record("AlreadyRunning"); }

FAKE_EXPORT void IFnInitialize(const std::string& exeBaseName, const std::string& languageName) {
    Record("Initialize|" + exeBaseName + "|" + languageName);
}

#ifndef FAKE_WINDOW_WITHOUT_SHOW_UI
FAKE_EXPORT void IFnShowUI(const std::string& skinFile, int osCode, bool wow64,
                           const std::string& registryKey, const std::string& eulaUrl,
                           CommandDelegate* commands) {
    Record("ShowUI|" + skinFile + "|" + std::to_string(osCode) + "|" + (wow64 ? "1" : "0") + "|" +
           registryKey + "|" + eulaUrl);
    ExeParams tick{"Tick", false};
    ExeParams empty{"||", false};
    if (commands) {
        (*commands)(tick);
        (*commands)(empty);
    }
    Record(std::string("Delegate|") + (tick.handled ? "1" : "0") + "|" + (empty.handled ? "1" : "0"));
    WaitForHoldFile();
    Record("Closed");
}
#endif

FAKE_EXPORT void IFnGotoPage(const std::string& address, bool) { Record("GotoPage|" + address); }
FAKE_EXPORT void IFnGetUserNameAndPassword(std::u16string&, std::u16string&) {}
FAKE_EXPORT void IFnShowLoginControls() {}
FAKE_EXPORT void IFnShowProgressControls() {}
FAKE_EXPORT void IFnReportFileProgress(const char*, unsigned, bool) {}
FAKE_EXPORT void IFnReportTotalProgress(unsigned) {}
FAKE_EXPORT void IFnConnectToLogin() {}
FAKE_EXPORT void IFnPatchingPatchClient() {}
FAKE_EXPORT void IFnLaunchingNewPatchClient() {}
FAKE_EXPORT void IFnLaunchingGameClient() {}
FAKE_EXPORT void IFnReadyToPlay() {}
FAKE_EXPORT void IFnHideWindow() {}
FAKE_EXPORT void IFnPostQuitMessage() {}
FAKE_EXPORT void IFnHomeButtonFocus() {}
