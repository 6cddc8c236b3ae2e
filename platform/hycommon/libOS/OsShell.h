// The desktop's shell: opening a web address in the user's browser, the debugger's output and
// message boxes.
#pragma once

#include <string>

namespace HY_OS {

// Opens a web address ("http://" or "https://", any letter case) in the user's browser, without
// waiting for it: the shell's "open" verb with a maximised window on Windows, "xdg-open"
// elsewhere (its process is collected when it ends). Any other address, a file or program path
// in particular, is refused (EINVAL) rather than handed to the shell, which would run it.
// Answers 0 or the system's error number (ENOENT when no opener is installed).
int OpenAddress(const std::string& address);
// True for an address that OpenAddress hands to the shell.
bool IsWebAddress(const std::string& address);

// Writes `text` as it stands to the debugger's output: OutputDebugString on Windows (shown by an
// attached debugger or a debug-output viewer), standard error elsewhere.
void DebuggerOutput(const char* text);

// The buttons of a message box, and the answer it gave.
enum MessageBoxButtons { MBB_Ok, MBB_YesNo, MBB_AbortRetryIgnore };
enum MessageBoxAnswer { MBA_Ok, MBA_Yes, MBA_No, MBA_Abort, MBA_Retry, MBA_Ignore };

// Shows a system-modal message box and answers the button chosen. The box is written to standard
// error as "[title] text" in every case. Interactive (the default): on Windows a real box, which
// waits for the user; elsewhere a question on the terminal when standard input and error are
// both terminals. Non-interactive, or with nobody to ask, nothing waits and the answer is the
// safe one: OK, No, or Abort.
MessageBoxAnswer SystemMessageBox(const char* title, const char* text, MessageBoxButtons buttons);
// Switches every later message box to non-interactive (false) or back; for tests and for runs
// without a person in front of them. Thread-safe.
void SetMessageBoxesInteractive(bool interactive);
bool MessageBoxesInteractive();

}  // namespace HY_OS
