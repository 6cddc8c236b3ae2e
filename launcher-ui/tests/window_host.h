// A test host that plays the launcher's part: it loads libLarkLauncherUI.so by name, calls its
// exports, records the commands the window sends through the delegate and reads the window's
// widgets back. Runs a window on a display (Xvfb under ctest); without one the tests skip.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "UiHooks.h"
#include "WindowLibraryExports.h"

namespace uitest {

class WindowHost {
  public:
    // The library, loaded once for the test program.
    static WindowHost& Get();
    // True when a display could be opened (else the caller skips).
    static bool HaveDisplay();

    // Runs IFnShowUI with `eulaUrl`; once the window's loop runs, `body` runs inside it; the host
    // then posts the quit message. Answers when IFnShowUI has returned.
    void RunWindow(const std::string& eulaUrl, const std::function<void()>& body,
                   const std::string& registryKey = "Software\\Halcyra\\Larkspur");

    // Commands received, "Tick" left out (counted instead).
    std::vector<std::string> commands;
    int ticks = 0;
    // Handled flags the launcher answers, by command (default: true, "OnClose" false).
    std::map<std::string, bool> handled;
    // Called for every command after it was recorded.
    std::function<void(const std::string&)> onCommand;
    // Addresses given to the "open in the system's browser" seam, and what it answers.
    std::vector<std::string> opened;
    bool openSucceeds = true;

    void ClearRecords() {
        commands.clear();
        ticks = 0;
        opened.clear();
    }
    bool Received(const std::string& command) const;
    // The commands without the log lines.
    std::vector<std::string> Actions() const;

    // The exports.
    void (*AlreadyRunning)() = nullptr;
    void (*Initialize)(const std::string&, const std::string&) = nullptr;
    void (*ShowUI)(const std::string&, int, bool, const std::string&, const std::string&,
                   CommandDelegate*) = nullptr;
    void (*GotoPage)(const std::string&, bool) = nullptr;
    void (*GetUserNameAndPassword)(std::u16string&, std::u16string&) = nullptr;
    void (*ShowLoginControls)() = nullptr;
    void (*ShowProgressControls)() = nullptr;
    void (*ReportFileProgress)(const char*, unsigned, bool) = nullptr;
    void (*ReportTotalProgress)(unsigned) = nullptr;
    void (*ConnectToLogin)() = nullptr;
    void (*PatchingPatchClient)() = nullptr;
    void (*LaunchingNewPatchClient)() = nullptr;
    void (*LaunchingGameClient)() = nullptr;
    void (*ReadyToPlay)() = nullptr;
    void (*HideWindow)() = nullptr;
    void (*PostQuitMessage)() = nullptr;
    void (*HomeButtonFocus)() = nullptr;
    void (*SetTickWaitSource)(const TickWaitSource&) = nullptr;
    void (*SetHooks)(const LarkUi::UiHooks*) = nullptr;

    void* Handle() const { return m_handle; }

  private:
    WindowHost();
    static void OnCommand(void* self, ExeParams& params);
    static bool OnOpen(const char* address, void* self);

    void* m_handle = nullptr;
    CommandDelegate m_delegate;
};

// Iterates the main loop until `done()` or 20 seconds have passed; answers done().
bool PumpUntil(const std::function<bool()>& done, int limitMs = 20000);
// Iterates the main loop for `ms` milliseconds.
void PumpFor(int ms);

// The launcher window and its controls (by control id).
GtkWidget* MainWindow();
GtkWidget* Control(int id);
std::string EntryText(int id);
std::string ButtonText(int id);
bool Visible(int id);
bool Sensitive(int id);
// The overlay text of a progress bar (its accessible description) and its position in percent.
std::string BarOverlay(int id);
int BarPercent(int id);

// Saves a PNG of the window under build/<preset>/launcher-ui/screenshots; answers its path.
std::string SaveScreenshot(const std::string& name);

// Synthesised input through the X server (xdotool): a click at a point of a widget, keys typed.
void ClickWidget(GtkWidget* widget, int x = -1, int y = -1);
void TypeText(const std::string& text);
void PressKey(const std::string& key);

}  // namespace uitest
