#include "WinHandle.h"

#include "OsEnv.h"
#include "OsHost.h"

namespace HY_OS {

std::string GetHostName() {
    std::string name;
    if (GetEnv("HY_HOSTNAME", name)) return name;
    GetSystemHostName(name);
    return name;
}

int GetSystemHostName(std::string& name) {
    char buffer[256] = {};
    DWORD size = sizeof buffer;
    if (!GetComputerNameExA(ComputerNameDnsHostname, buffer, &size)) {
        name.clear();
        return -1;
    }
    name.assign(buffer, size);
    return 0;
}

uint32_t GetProcessId() { return ::GetCurrentProcessId(); }

std::string GetExecutablePath() {
    char buffer[MAX_PATH * 4];
    DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return {};
    return std::string(buffer, n);
}

bool IsDebuggerAttached() { return IsDebuggerPresent() != 0; }

void BreakIntoDebugger() { DebugBreak(); }

}  // namespace HY_OS
