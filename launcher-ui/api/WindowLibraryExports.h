// The functions that the window library "LarkLauncherUI" exports, and the records that cross
// between it and the launcher. The library exports them with C++ linkage, so their symbol names
// carry the argument types; both sides must declare them exactly as here. Every front-end of the
// launcher (the GTK window, a terminal front-end) and the launcher's start-up binding include this
// one header.
#pragma once

#include <string>

// One command from the window to the launcher.
struct ExeParams {
    const char* command;  // zero-terminated; valid only during the call
    bool handled;         // written by the launcher
};

// A callable the window calls back through: function(object, argument), on the window's thread.
// The source position where it was bound is kept for diagnostics.
template <typename Arg>
struct Delegate {
    void* object = nullptr;
    void (*function)(void* object, Arg argument) = nullptr;
    const char* boundFile = "";
    int boundLine = 0;

    void operator()(Arg argument) const {
        if (function) function(object, argument);
    }
};

using CommandDelegate = Delegate<ExeParams&>;

void IFnAlreadyRunning();
void IFnInitialize(const std::string& exeBaseName, const std::string& languageName);
void IFnShowUI(const std::string& skinFile, int osCode, bool wow64, const std::string& registryKey,
               const std::string& eulaUrl, CommandDelegate* commands);
void IFnGotoPage(const std::string& address, bool immediate);
void IFnGetUserNameAndPassword(std::u16string& userName, std::u16string& password);
void IFnShowLoginControls();
void IFnShowProgressControls();
void IFnReportFileProgress(const char* fileName, unsigned percent, bool done);
void IFnReportTotalProgress(unsigned percent);
void IFnConnectToLogin();
void IFnPatchingPatchClient();
void IFnLaunchingNewPatchClient();
void IFnLaunchingGameClient();
void IFnReadyToPlay();
void IFnHideWindow();
void IFnPostQuitMessage();
void IFnHomeButtonFocus();

// How the window can sleep until the launcher's "Main" loop has work, instead of sending "Tick"
// without pause: `descriptor` becomes readable when a socket or a posted event of the loop is
// ready (-1: none), and `timeoutMs(context)`, asked each time before the window sleeps, answers
// the milliseconds until the loop's next timer is due (-1: no timer). While a source is set the
// window sends "Tick" when the descriptor is ready, when that time has come, and after user input,
// and sleeps otherwise. A null `timeoutMs` and a descriptor of -1 together remove the source.
struct TickWaitSource {
    int descriptor = -1;
    int (*timeoutMs)(void* context) = nullptr;
    void* context = nullptr;
};

// Optional export, looked up by name: a front-end without it keeps sending "Tick" whenever its
// loop is idle. May be called before IFnShowUI or from inside the delegate.
void IFnSetTickWaitSource(const TickWaitSource& source);

// The symbol names of the exports above (GCC and Clang name decoration for these declarations).
namespace WindowExportSymbols {
constexpr const char* kAlreadyRunning = "_Z17IFnAlreadyRunningv";
constexpr const char* kInitialize =
    "_Z13IFnInitializeRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEES6_";
constexpr const char* kShowUI =
    "_Z9IFnShowUIRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEibS6_S6_"
    "P8DelegateIR9ExeParamsE";
constexpr const char* kGotoPage =
    "_Z11IFnGotoPageRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEb";
constexpr const char* kGetUserNameAndPassword =
    "_Z25IFnGetUserNameAndPasswordRNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEES5_";
constexpr const char* kShowLoginControls = "_Z20IFnShowLoginControlsv";
constexpr const char* kShowProgressControls = "_Z23IFnShowProgressControlsv";
constexpr const char* kReportFileProgress = "_Z21IFnReportFileProgressPKcjb";
constexpr const char* kReportTotalProgress = "_Z22IFnReportTotalProgressj";
constexpr const char* kConnectToLogin = "_Z17IFnConnectToLoginv";
constexpr const char* kPatchingPatchClient = "_Z22IFnPatchingPatchClientv";
constexpr const char* kLaunchingNewPatchClient = "_Z26IFnLaunchingNewPatchClientv";
constexpr const char* kLaunchingGameClient = "_Z22IFnLaunchingGameClientv";
constexpr const char* kReadyToPlay = "_Z14IFnReadyToPlayv";
constexpr const char* kHideWindow = "_Z13IFnHideWindowv";
constexpr const char* kPostQuitMessage = "_Z18IFnPostQuitMessagev";
constexpr const char* kHomeButtonFocus = "_Z18IFnHomeButtonFocusv";
constexpr const char* kSetTickWaitSource = "_Z20IFnSetTickWaitSourceRK14TickWaitSource";
// Every symbol a window library exports, for checks that a built library has them all.
constexpr const char* kAll[] = {
    kAlreadyRunning,      kInitialize,          kShowUI,
    kGotoPage,            kGetUserNameAndPassword, kShowLoginControls,
    kShowProgressControls, kReportFileProgress, kReportTotalProgress,
    kConnectToLogin,      kPatchingPatchClient, kLaunchingNewPatchClient,
    kLaunchingGameClient, kReadyToPlay,         kHideWindow,
    kPostQuitMessage,     kHomeButtonFocus,     kSetTickWaitSource};
}  // namespace WindowExportSymbols
