// The exports of libLarkLauncherUI.so. Everything runs on the thread that called IFnShowUI;
// calls that act on the window do nothing while no window is open or from any other thread.
#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <thread>

#include "CommandSink.h"
#include "FontFiles.h"
#include "InterfaceStrings.h"
#include "OsFile.h"
#include "PatchClientUIDlg.h"
#include "TextConvert.h"
#include "TickSource.h"
#include "UiHooks.h"
#include "WindowLibraryExports.h"

#define UI_EXPORT __attribute__((visibility("default")))

namespace {

using namespace LarkUi;

CPatchClientUIDlg* g_dialog = nullptr;
std::thread::id g_windowThread;

CPatchClientUIDlg* Dialog() {
    return g_dialog != nullptr && std::this_thread::get_id() == g_windowThread ? g_dialog : nullptr;
}

// GTK needs a display; without one the caller is told and nothing is shown.
bool OpenDisplay() {
    static bool opened = false;
    if (opened) return true;
    RegisterFontFiles();  // before any font is looked up
    opened = gtk_init_check(nullptr, nullptr);
    return opened;
}

void SendTick() { CommandSink::Instance().Send("Tick"); }

}  // namespace

UI_EXPORT void IFnAlreadyRunning() {
    std::string text = Utf16ToUtf8(LanguageTable::Instance().Text(IDS_ALREADY_RUNNING));
    if (!OpenDisplay()) {
        std::fprintf(stderr, "Larkspur: %s\n", text.c_str());
        return;
    }
    GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO,
                                            GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(box), "Larkspur");
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

UI_EXPORT void IFnInitialize(const std::string& exeBaseName, const std::string& languageName) {
    LanguageTable::Instance().LoadFile(exeBaseName, languageName);
}

UI_EXPORT void IFnShowUI(const std::string& skinFile, int osCode, bool wow64,
                         const std::string& registryKey, const std::string& eulaUrl,
                         CommandDelegate* commands) {
    CommandSink& sink = CommandSink::Instance();
    sink.SetDelegate(commands);
    if (g_dialog != nullptr) {
        sink.LogToLauncher("Error", "The launcher window is open already");
        return;
    }
    if (!OpenDisplay()) {
        std::fprintf(stderr,
                     "Larkspur: the launcher window cannot be shown: no display could be opened\n");
        sink.LogToLauncher("Error",
                           "The launcher window cannot be shown: no display could be opened");
        return;
    }
    DialogArgs args{skinFile,    osCode,  wow64,
                    registryKey, eulaUrl, HY_OS::JoinPath(HY_OS::GetCurrentDirectory(), "web")};
    auto dialog = std::make_unique<CPatchClientUIDlg>(std::move(args), sink);
    g_dialog = dialog.get();
    g_windowThread = std::this_thread::get_id();
    TickSource::Instance().Start(&SendTick);
    dialog->RunModal();
    TickSource::Instance().Stop();
    g_dialog = nullptr;
    dialog.reset();
    // Let the toolkit finish what the closed window left (destroy notifications, redraws), a
    // bounded number of passes so a source that is always ready cannot hold the launcher here.
    for (int pass = 0; pass < 100 && g_main_context_iteration(nullptr, FALSE); ++pass) {
    }
}

UI_EXPORT void IFnGotoPage(const std::string& address, bool immediate) {
    if (auto* dialog = Dialog()) dialog->GotoPage(address, immediate);
}

UI_EXPORT void IFnGetUserNameAndPassword(std::u16string& userName, std::u16string& password) {
    if (auto* dialog = Dialog()) dialog->GetUserNameAndPassword(userName, password);
}

UI_EXPORT void IFnShowLoginControls() {
    if (auto* dialog = Dialog()) dialog->ShowLoginControls();
}

UI_EXPORT void IFnShowProgressControls() {
    if (auto* dialog = Dialog()) dialog->ShowProgressControls();
}

UI_EXPORT void IFnReportFileProgress(const char* fileName, unsigned percent, bool done) {
    if (auto* dialog = Dialog()) dialog->ReportFileProgress(fileName, percent, done);
}

UI_EXPORT void IFnReportTotalProgress(unsigned percent) {
    if (auto* dialog = Dialog()) dialog->ReportTotalProgress(percent);
}

UI_EXPORT void IFnConnectToLogin() {
    if (auto* dialog = Dialog()) dialog->SetFileOverlay(IDS_LOGGING_IN);
}

UI_EXPORT void IFnPatchingPatchClient() {
    if (auto* dialog = Dialog()) dialog->SetFileOverlay(IDS_CONNECTING_PATCH);
}

UI_EXPORT void IFnLaunchingNewPatchClient() {
    if (auto* dialog = Dialog()) dialog->SetFileOverlay(IDS_LAUNCHING_NEW_CLIENT);
}

UI_EXPORT void IFnLaunchingGameClient() {
    if (auto* dialog = Dialog()) {
        dialog->SetTotalOverlay(IDS_DOWNLOAD_COMPLETE);
        dialog->ClearFileOverlay();
    }
}

UI_EXPORT void IFnReadyToPlay() {
    if (auto* dialog = Dialog()) dialog->ReadyToPlay();
}

UI_EXPORT void IFnHideWindow() {
    if (auto* dialog = Dialog()) dialog->HideWindow();
}

UI_EXPORT void IFnPostQuitMessage() {
    if (auto* dialog = Dialog()) dialog->PostQuit();
}

UI_EXPORT void IFnHomeButtonFocus() {}

UI_EXPORT void IFnSetTickWaitSource(const TickWaitSource& source) {
    TickSource::Instance().SetWaitSource(source);
}

extern "C" UI_EXPORT void LarkUiSetHooks(const LarkUi::UiHooks* hooks) {
    LarkUi::Hooks() = hooks ? *hooks : LarkUi::UiHooks();
}
