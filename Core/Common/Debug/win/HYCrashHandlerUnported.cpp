// The Windows build has no crash handler yet: its structured-exception and dump-writing half is
// still to be written. Installing reports that once on standard error and leaves the process to
// the system's own error reporting; the settings are kept so callers behave the same.
#include "HYCrashHandler.h"

#include <cstdio>
#include <mutex>

namespace HYCrashHandler {

namespace {
std::mutex g_lock;
CrashSettings g_settings;
bool g_told = false;
}  // namespace

void Install() {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_told) return;
    g_told = true;
    std::fprintf(stderr, "Crash handler: not available in this Windows build; crashes are left "
                         "to the system's error reporting.\n");
}

bool IsInstalled() { return false; }

void Configure(const CrashSettings& settings) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_settings = settings;
}

CrashSettings Settings() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_settings;
}

void SetQuestionHandler(CrashQuestionHandler) {}

bool AskOnTerminal(const char*, const char*) { return false; }

bool DumpFilePath(char*, size_t) { return false; }

}  // namespace HYCrashHandler
