#include "EchoGuard.h"

#include <windows.h>

#include <cstdlib>

#include "ConsoleHandle.h"

namespace LarkTerm {

namespace {

// Read by the console control handler, which Windows runs on a thread of its own.
HANDLE g_input = nullptr;
DWORD g_saved = 0;
volatile LONG g_active = 0;

// Ctrl+C, Ctrl+Break or the console window closed while the password is typed: the console's
// modes are put back, then the next handler (in the end the default one, which ends the process)
// is asked.
BOOL WINAPI OnControl(DWORD) {
    if (InterlockedCompareExchange(&g_active, 0, 0)) SetConsoleMode(g_input, g_saved);
    return FALSE;
}

// A launcher that ends the process from inside a Tick while the password is typed still leaves the
// console as it found it.
void RestoreAtExit() {
    if (InterlockedCompareExchange(&g_active, 0, 0)) SetConsoleMode(g_input, g_saved);
}

}  // namespace

bool EchoGuard::Disable(int descriptor) {
    if (m_active) return false;
    HANDLE input = Console::HandleOf(descriptor);
    DWORD mode = 0;
    // Not a console (a pipe or a file): nothing is echoed anyway.
    if (!GetConsoleMode(input, &mode)) return false;
    g_input = input;
    g_saved = mode;
    if (!SetConsoleCtrlHandler(&OnControl, TRUE)) return false;
    if (!SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT))) {
        SetConsoleCtrlHandler(&OnControl, FALSE);
        return false;
    }
    static bool atExitRegistered = false;
    if (!atExitRegistered) atExitRegistered = std::atexit(&RestoreAtExit) == 0;
    InterlockedExchange(&g_active, 1);
    m_active = true;
    return true;
}

void EchoGuard::Restore() {
    if (!m_active) return;
    InterlockedExchange(&g_active, 0);
    SetConsoleMode(g_input, g_saved);
    SetConsoleCtrlHandler(&OnControl, FALSE);
    m_active = false;
}

}  // namespace LarkTerm
