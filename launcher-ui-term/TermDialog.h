// The launcher window as a terminal front-end: the same modes as the graphical window (licence,
// login, progress), the same commands to the launcher, typed lines instead of controls.
//
// Login: the account name is asked for (the remembered name offered as the default), then the
// password (without echo on a terminal), then "Login" is sent. Progress: the two bars; once the
// launcher says the game is ready, an empty line sends "Play". Lines starting with "/" are
// commands at any time (see HelpText()).
#pragma once

#include <cstdint>
#include <string>

#include "CommandSink.h"
#include "EchoGuard.h"
#include "ProgressView.h"
#include "TermOutput.h"
#include "UserNameStore.h"

namespace LarkTerm {

struct DialogArgs {
    std::string registryKey;  // the launcher's per-user key of the remembered name
    std::string eulaUrl;      // empty: no licence to accept
    int inputDescriptor = 0;  // where typed lines come from (echo is switched off there)
};

enum DialogMode { ModeInitial = 0, ModeEula = 1, ModeLogin = 2, ModeProgress = 3 };

// What the login mode waits for.
enum LoginStep { LS_Name = 0, LS_Password = 1, LS_Sent = 2 };

class TermDialog {
  public:
    TermDialog(DialogArgs args, LarkUi::CommandSink& commands, TermOutput& output);
    ~TermDialog();
    TermDialog(const TermDialog&) = delete;
    TermDialog& operator=(const TermDialog&) = delete;

    // "PreInitDialog", the remembered name, then the licence question or the login mode and
    // "InitDialog".
    void Open();
    // The window ends: echo back on, the remembered name saved.
    void Close();

    // Shows the prompt of the current step when it is not on the screen yet.
    void ShowPromptIfNeeded();
    // One typed line (without its line end).
    void OnLine(const std::string& line);
    // Standard input has ended: the close request.
    void OnInputEnd();

    void ShowLoginControls();
    void ShowProgressControls();
    void GotoPage(const std::string& address);
    void GetUserNameAndPassword(std::u16string& userName, std::u16string& password);
    void ReportFileProgress(const char* fileName, unsigned percent, bool done);
    void ReportTotalProgress(unsigned percent, uint64_t nowMs);
    void SetFileOverlay(int stringId);
    void LaunchingGameClient();
    void ReadyToPlay();
    void Hide();
    void PostQuit() { m_quit = true; }
    // The redraw of the bars that was held back (see ProgressView): when it is due, and drawing it.
    int RedrawDueInMs() const { return m_progress.RedrawDueInMs(); }
    void RedrawIfDue() { m_progress.RedrawIfDue(); }

    bool QuitPosted() const { return m_quit; }
    DialogMode Mode() const { return m_mode; }
    LoginStep Step() const { return m_step; }
    bool Remember() const { return m_remember; }

    static std::string HelpText();

  private:
    void ShowEula();
    void OnEulaAnswer(const std::string& line);
    void OnNameLine(const std::string& line);
    void OnPasswordLine(const std::string& line);
    void OnCommandLine(const std::string& line);
    void LoginAction();
    void SendClose();
    void EnterPasswordStep();
    void LeavePasswordStep();
    void SaveUserName();
    std::string Text(int id) const;

    DialogArgs m_args;
    LarkUi::CommandSink& m_commands;
    TermOutput& m_output;
    ProgressView m_progress;
    LarkUi::UserNameStore m_store;
    EchoGuard m_echo;

    DialogMode m_mode = ModeInitial;
    LoginStep m_step = LS_Name;
    bool m_playReady = false;
    bool m_quit = false;
    bool m_closeSent = false;
    bool m_remember = false;
    bool m_promptPending = false;
    std::u16string m_rememberedName;
    std::u16string m_accountField;
    std::u16string m_passwordField;
    std::string m_fileOverlay;
};

}  // namespace LarkTerm
