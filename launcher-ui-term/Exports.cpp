// The exports of libLarkLauncherUI-term.so, the terminal front-end of the launcher window: the
// same functions as the graphical library. Everything runs on the thread that called IFnShowUI;
// calls that act on the window do nothing while no window is open or from any other thread.
#include <cstdio>
#include <memory>
#include <thread>

#include "CommandSink.h"
#include "Console.h"
#include "InterfaceStrings.h"
#include "LineReader.h"
#include "OsEnv.h"
#include "OsTime.h"
#include "TermDialog.h"
#include "TermLoop.h"
#include "TermOutput.h"
#include "TextConvert.h"
#include "WindowLibraryExports.h"

#ifdef _WIN32
#define UI_EXPORT __declspec(dllexport)
#else
#define UI_EXPORT __attribute__((visibility("default")))
#endif

namespace {

using namespace LarkTerm;
using LarkUi::CommandSink;
using LarkUi::LanguageTable;

TermDialog* g_dialog = nullptr;
std::thread::id g_windowThread;

TermDialog* Dialog() {
    return g_dialog != nullptr && std::this_thread::get_id() == g_windowThread ? g_dialog : nullptr;
}

void SendTick() { CommandSink::Instance().Send("Tick"); }

}  // namespace

UI_EXPORT void IFnAlreadyRunning() {
    std::u16string text = LanguageTable::Instance().Text(LarkUi::IDS_ALREADY_RUNNING);
    std::fprintf(stderr, "%s\n", Printable(LarkUi::Utf16ToUtf8(text), true).c_str());
    std::fflush(stderr);
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
    // A terminal that cannot move its cursor ("dumb", or a console without escape sequences)
    // gets the plain lines.
    constexpr int kInput = 0, kOutput = 1;
    std::string term;
    HY_OS::GetEnv("TERM", term);
    bool terminal = Console::IsTerminal(kOutput) && term != "dumb" && Console::EnableEscapes(kOutput);
    TermOutput output(stdout, terminal);
    LineReader input(kInput);
    DialogArgs args{registryKey, eulaUrl, kInput};
    auto dialog = std::make_unique<TermDialog>(std::move(args), sink, output);
    g_dialog = dialog.get();
    g_windowThread = std::this_thread::get_id();
    dialog->Open();
    TermLoop(*dialog, input, &SendTick).Run();
    Console::StopReading();
    dialog->Close();
    g_dialog = nullptr;
}

UI_EXPORT void IFnGotoPage(const std::string& address, bool immediate) {
    if (auto* dialog = Dialog()) dialog->GotoPage(address);
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
    if (auto* dialog = Dialog()) dialog->ReportTotalProgress(percent, HY_OS::GetMonotonicMs());
}

UI_EXPORT void IFnConnectToLogin() {
    if (auto* dialog = Dialog()) dialog->SetFileOverlay(LarkUi::IDS_LOGGING_IN);
}

UI_EXPORT void IFnPatchingPatchClient() {
    if (auto* dialog = Dialog()) dialog->SetFileOverlay(LarkUi::IDS_CONNECTING_PATCH);
}

UI_EXPORT void IFnLaunchingNewPatchClient() {
    if (auto* dialog = Dialog()) dialog->SetFileOverlay(LarkUi::IDS_LAUNCHING_NEW_CLIENT);
}

UI_EXPORT void IFnLaunchingGameClient() {
    if (auto* dialog = Dialog()) dialog->LaunchingGameClient();
}

UI_EXPORT void IFnReadyToPlay() {
    if (auto* dialog = Dialog()) dialog->ReadyToPlay();
}

UI_EXPORT void IFnHideWindow() {
    if (auto* dialog = Dialog()) dialog->Hide();
}

UI_EXPORT void IFnPostQuitMessage() {
    if (auto* dialog = Dialog()) dialog->PostQuit();
}

UI_EXPORT void IFnHomeButtonFocus() {}

UI_EXPORT void IFnSetTickWaitSource(const TickWaitSource& source) {
    TermLoop::SetWaitSource(source);
}
