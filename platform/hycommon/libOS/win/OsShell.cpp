// The shell's calls on Windows: ShellExecute's "open" verb for addresses, OutputDebugString for
// the debugger's output, MessageBox for message boxes.
#include "OsShell.h"

#include <windows.h>
#include <shellapi.h>

#include <cerrno>
#include <cstdint>

#include "OsShellShared.h"
#include "WinHandle.h"

namespace HY_OS {

int OpenAddress(const std::string& address) {
    if (!IsWebAddress(address)) return EINVAL;
    std::wstring wide;
    if (!win::Utf8ToWide(address, wide)) return EINVAL;
    // ShellExecute answers a value above 32 on success and an error number at or below it.
    HINSTANCE result = ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
    auto code = reinterpret_cast<intptr_t>(result);
    if (code > 32) return 0;
    DWORD error = GetLastError();
    return win::ErrnoFor(error != 0 ? error : static_cast<DWORD>(code));
}

void DebuggerOutput(const char* text) { OutputDebugStringA(text); }

MessageBoxAnswer SystemMessageBox(const char* title, const char* text, MessageBoxButtons buttons) {
    PrintMessageBox(title, text);
    if (!MessageBoxesInteractive()) return SafeMessageBoxAnswer(buttons);
    std::wstring wideTitle, wideText;
    if (!win::Utf8ToWide(title, wideTitle) || !win::Utf8ToWide(text, wideText))
        return SafeMessageBoxAnswer(buttons);
    UINT type = MB_SYSTEMMODAL | MB_SETFOREGROUND;
    type |= buttons == MBB_YesNo              ? MB_YESNO | MB_ICONQUESTION
            : buttons == MBB_AbortRetryIgnore ? MB_ABORTRETRYIGNORE | MB_ICONERROR
                                              : MB_OK | MB_ICONERROR;
    switch (MessageBoxW(nullptr, wideText.c_str(), wideTitle.c_str(), type)) {
        case IDYES: return MBA_Yes;
        case IDNO: return MBA_No;
        case IDRETRY: return MBA_Retry;
        case IDIGNORE: return MBA_Ignore;
        case IDABORT: return MBA_Abort;
        case IDOK: return MBA_Ok;
        default: return SafeMessageBoxAnswer(buttons);
    }
}

}  // namespace HY_OS
