// CPatchClientUIDlg: the launcher window. A web page above, and at its foot the account and
// password fields, "Remember Username", two progress bars and the Login/Play and Settings
// buttons. It shows what the launcher tells it and reports every user action as a command.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "BarWithOverlay.h"
#include "Browser.h"
#include "CommandSink.h"
#include "DialogTemplate.h"
#include "EditWithOverlay.h"
#include "Navigator.h"

namespace LarkUi {

// The arguments of IFnShowUI that the dialog is made with.
struct DialogArgs {
    std::string skinFile;
    int osCode = 0;
    bool wow64 = false;
    std::string registryKey;  // where "UserName" is remembered
    std::string eulaUrl;
    std::string webRoot;  // the bank's web folder
};

enum DialogMode { ModeInitial = 0, ModeEula = 1, ModeLogin = 2, ModeProgress = 3 };

class CPatchClientUIDlg : public NavigationHost {
  public:
    CPatchClientUIDlg(DialogArgs args, CommandSink& commands);
    ~CPatchClientUIDlg() override;
    CPatchClientUIDlg(const CPatchClientUIDlg&) = delete;
    CPatchClientUIDlg& operator=(const CPatchClientUIDlg&) = delete;

    // Makes the window and its controls, runs OnInitDialog and shows the window (unless the quit
    // message came first), then runs the window's loop until the quit message. Saves the
    // remembered name when the loop has ended.
    void RunModal();
    // The quit message: ends the loop (at once, or as soon as it starts).
    void PostQuit();

    void GotoPage(const std::string& address, bool immediate) {
        m_navigator.GotoPage(address, immediate);
    }
    void GetUserNameAndPassword(std::u16string& userName, std::u16string& password);
    void ShowEula();
    void ShowLoginControls();
    void ShowProgressControls();
    void ReportFileProgress(const char* fileName, unsigned percent, bool done);
    void ReportTotalProgress(unsigned percent);
    void SetFileOverlay(int stringId);
    void SetTotalOverlay(int stringId);
    void ClearFileOverlay();
    void ReadyToPlay();
    void HideWindow();

    DialogMode Mode() const { return m_mode; }
    GtkWidget* Window() const { return m_window; }

    // NavigationHost
    bool BrowserExists() const override { return m_browser != nullptr; }
    void Navigate(const std::string& address) override;
    void Refresh() override;
    void ShowBrowser() override;
    void FillLoginFields(const std::u16string& account, const std::u16string& password) override;
    bool OpenExternally(const std::string& address) override;

  private:
    void CreateControls();
    void OnInitDialog();
    void ShowLoginFields(bool show);
    void LoginAction();
    void SettingsAction();
    void SaveUserName();
    void SetText(GtkWidget* widget, int stringId);
    bool RememberTicked() const;
    bool PreTranslate(GdkEvent* event);

    static void OnEvent(GdkEvent* event, gpointer self);
    static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self);
    static void OnLoginClicked(GtkButton*, gpointer self);
    static void OnSettingsClicked(GtkButton*, gpointer self);
    static void OnRememberToggled(GtkToggleButton*, gpointer self);
    static gboolean OnRememberLabelClicked(GtkWidget*, GdkEventButton*, gpointer self);

    DialogArgs m_args;
    CommandSink& m_commands;
    Navigator m_navigator;
    DialogMode m_mode = ModeInitial;
    bool m_playReady = false;
    std::u16string m_rememberedName;
    bool m_quitPosted = false;
    GMainLoop* m_loop = nullptr;

    GtkWidget* m_window = nullptr;
    GtkWidget* m_login = nullptr;
    GtkWidget* m_settings = nullptr;
    GtkWidget* m_remember = nullptr;
    GtkWidget* m_rememberLabel = nullptr;  // the event box around the label
    GtkWidget* m_loading = nullptr;
    std::unique_ptr<EditWithOverlay> m_userName;
    std::unique_ptr<EditWithOverlay> m_password;
    std::unique_ptr<BarWithOverlay> m_fileBar;
    std::unique_ptr<BarWithOverlay> m_totalBar;
    std::unique_ptr<Browser> m_browser;
    GtkCssProvider* m_css = nullptr;
};

}  // namespace LarkUi
