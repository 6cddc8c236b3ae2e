#include "OsHost.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>

#include <atomic>
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

namespace {
// The process id, asked of the system once: every log record carries it, and getpid is a system
// call. A forked child starts over, since its id differs from its parent's.
std::atomic<uint32_t> g_processId{0};
void ForgetProcessId() { g_processId.store(0, std::memory_order_relaxed); }
}  // namespace

uint32_t GetProcessId() {
    uint32_t id = g_processId.load(std::memory_order_relaxed);
    if (id == 0) {
        static const bool watched = ::pthread_atfork(nullptr, nullptr, ForgetProcessId) == 0;
        (void)watched;
        id = static_cast<uint32_t>(::getpid());
        g_processId.store(id, std::memory_order_relaxed);
    }
    return id;
}

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
