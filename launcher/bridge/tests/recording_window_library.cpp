// A window library for the bridge's tests, loaded into the test program itself: every export
// appends one line to a list the test reads through RecordedWindowCalls(), and the account name
// and password the window hands over are set with SetWindowCredentials().
#include <string>
#include <vector>

#include "WindowLibraryExports.h"

#define RECORDING_EXPORT __attribute__((visibility("default")))

namespace {

std::vector<std::string>& Calls() {
    static std::vector<std::string> calls;
    return calls;
}
std::u16string g_name;
std::u16string g_password;

void Record(const std::string& line) { Calls().push_back(line); }

}  // namespace

extern "C" RECORDING_EXPORT std::vector<std::string>* RecordedWindowCalls() { return &Calls(); }

extern "C" RECORDING_EXPORT void SetWindowCredentials(const char16_t* name, const char16_t* password) {
    g_name = name;
    g_password = password;
}

RECORDING_EXPORT void IFnAlreadyRunning() { Record("AlreadyRunning"); }
RECORDING_EXPORT void IFnInitialize(const std::string& exeBaseName, const std::string& languageName) {
    Record("Initialize|" + exeBaseName + "|" + languageName);
}
RECORDING_EXPORT void IFnShowUI(const std::string&, int, bool, const std::string&, const std::string&,
                                CommandDelegate*) {
    Record("ShowUI");
}
#ifndef RECORDING_WINDOW_WITHOUT_GOTO_PAGE
RECORDING_EXPORT void IFnGotoPage(const std::string& address, bool immediate) {
    Record("GotoPage|" + address + (immediate ? "|1" : "|0"));
}
#endif
RECORDING_EXPORT void IFnGetUserNameAndPassword(std::u16string& userName, std::u16string& password) {
    Record("GetUserNameAndPassword");
    userName = g_name;
    password = g_password;
}
RECORDING_EXPORT void IFnShowLoginControls() { Record("ShowLoginControls"); }
RECORDING_EXPORT void IFnShowProgressControls() { Record("ShowProgressControls"); }
RECORDING_EXPORT void IFnReportFileProgress(const char* fileName, unsigned percent, bool done) {
    Record("ReportFileProgress|" + std::string(fileName) + "|" + std::to_string(percent) + (done ? "|1" : "|0"));
}
RECORDING_EXPORT void IFnReportTotalProgress(unsigned percent) {
    Record("ReportTotalProgress|" + std::to_string(percent));
}
RECORDING_EXPORT void IFnConnectToLogin() { Record("ConnectToLogin"); }
RECORDING_EXPORT void IFnPatchingPatchClient() { Record("PatchingPatchClient"); }
RECORDING_EXPORT void IFnLaunchingNewPatchClient() { Record("LaunchingNewPatchClient"); }
RECORDING_EXPORT void IFnLaunchingGameClient() { Record("LaunchingGameClient"); }
RECORDING_EXPORT void IFnReadyToPlay() { Record("ReadyToPlay"); }
RECORDING_EXPORT void IFnHideWindow() { Record("HideWindow"); }
RECORDING_EXPORT void IFnPostQuitMessage() { Record("PostQuitMessage"); }
RECORDING_EXPORT void IFnHomeButtonFocus() { Record("HomeButtonFocus"); }
RECORDING_EXPORT void IFnSetTickWaitSource(const TickWaitSource& source) {
    Record("SetTickWaitSource|" + std::to_string(source.descriptor));
}
