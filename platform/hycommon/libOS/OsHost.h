// The machine and the running process.
#pragma once

#include <cstdint>
#include <string>

namespace HY_OS {

// The host name; the environment variable "HY_HOSTNAME" takes precedence when set.
std::string GetHostName();
// The system's host name, whatever "HY_HOSTNAME" says; answers gethostname's result (0: success).
int GetSystemHostName(std::string& name);
uint32_t GetProcessId();
// Full path of the running program, empty when unknown.
std::string GetExecutablePath();
// True while a debugger is attached to this process.
bool IsDebuggerAttached();
// Stops in the attached debugger (a breakpoint trap).
void BreakIntoDebugger();
// True when windows can be shown: an X11 or Wayland display is named in the environment
// (DISPLAY, WAYLAND_DISPLAY); Windows always has its desktop.
bool HasGraphicalDisplay();

// The operating-system code the launcher reports: 0 for Linux (a native build here, or the
// Windows build under Wine on Linux), 1 for macOS (the Windows build under Wine there), and on
// Windows the code of its version (100 to 114). Computed once.
int GetOsCode();
// True when this is the Windows build running under Wine (never for a native build).
bool RunsUnderWine();

// The Windows version's code: `platform` 2 for the NT family, 1 for Windows 9x, 0 for Win32s;
// `server` for a server product.
int OsCodeForWindowsVersion(unsigned platform, unsigned major, unsigned minor, bool server);

}  // namespace HY_OS
