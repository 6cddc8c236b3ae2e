#include "OsHost.h"

#include <unistd.h>

#include <csignal>

#include <climits>
#include <cstdlib>
#include <string>

#include "OsEnv.h"
#include "OsFile.h"

namespace HY_OS {

int GetSystemHostName(std::string& name) {
    char buffer[256] = {};
    int result = ::gethostname(buffer, sizeof buffer - 1);
    name = result == 0 ? buffer : "";
    return result;
}

uint32_t GetProcessId() { return static_cast<uint32_t>(::getpid()); }

std::string GetExecutablePath() {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    return std::string(buffer, static_cast<size_t>(n));
}

bool IsDebuggerAttached() {
    std::string status;
    if (!ReadWholeFile("/proc/self/status", status)) return false;
    size_t at = status.find("TracerPid:");
    if (at == std::string::npos) return false;
    return std::strtol(status.c_str() + at + 10, nullptr, 10) != 0;
}

void BreakIntoDebugger() { std::raise(SIGTRAP); }

bool HasGraphicalDisplay() {
    std::string display;
    return (GetEnv("DISPLAY", display) && !display.empty()) ||
           (GetEnv("WAYLAND_DISPLAY", display) && !display.empty());
}

// A native build runs on Linux.
int GetOsCode() { return 0; }

bool RunsUnderWine() { return false; }

}  // namespace HY_OS
