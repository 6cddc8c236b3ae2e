// The shell's calls on Linux: xdg-open for addresses, standard error for the debugger's output,
// the terminal for message boxes.
#include "OsShell.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <thread>

#include "OsProcess.h"
#include "OsShellShared.h"
#include "OsSystemInfo.h"

namespace HY_OS {

int OpenAddress(const std::string& address) {
    if (!IsWebAddress(address)) return EINVAL;
    std::string opener = FindProgramOnPath("xdg-open");
    if (opener.empty()) return ENOENT;
    uint32_t processId = 0;
    int error = SpawnProcess(opener, {address}, std::string(), &processId);
    if (error != 0) return error;
    // The opener hands the address to the browser and ends; it is collected when it does, so
    // that no finished child is left behind for each address opened.
    std::thread([processId] { WaitForProcess(processId, nullptr); }).detach();
    return 0;
}

void DebuggerOutput(const char* text) {
    std::fputs(text, stderr);
    std::fflush(stderr);
}

MessageBoxAnswer SystemMessageBox(const char* title, const char* text, MessageBoxButtons buttons) {
    PrintMessageBox(title, text);
    if (buttons == MBB_Ok || !MessageBoxesInteractive() || !isatty(STDIN_FILENO) ||
        !isatty(STDERR_FILENO))
        return SafeMessageBoxAnswer(buttons);
    std::fputs(buttons == MBB_YesNo ? "Yes or No? [y/n] " : "Abort, Retry or Ignore? [a/r/i] ",
               stderr);
    std::fflush(stderr);
    int c = std::getchar();
    if (buttons == MBB_YesNo) return c == 'y' || c == 'Y' ? MBA_Yes : MBA_No;
    if (c == 'i' || c == 'I') return MBA_Ignore;
    if (c == 'r' || c == 'R') return MBA_Retry;
    return MBA_Abort;
}

}  // namespace HY_OS
