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

}  // namespace HY_OS
