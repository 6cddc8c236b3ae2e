#include "HYAssert.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "DebugOutput.h"
#include "OsHost.h"
#include "OsShell.h"

namespace {

// Asks through the system's message box (on a terminal off Windows); with nobody to ask, the
// safe answer is to stop.
AssertAnswer AskThroughMessageBox(const char* title, const char* text) {
    switch (HY_OS::SystemMessageBox(title, text, HY_OS::MBB_AbortRetryIgnore)) {
        case HY_OS::MBA_Ignore: return AA_Ignore;
        case HY_OS::MBA_Retry: return AA_Retry;
        default: return AA_Abort;
    }
}

std::atomic<AssertHandler> g_handler{&AskThroughMessageBox};
std::atomic<bool> g_reportOpen{false};

struct Ignores {
    std::mutex lock;
    std::set<std::pair<std::string, int>> places;
};

Ignores& IgnoredPlaces() {
    static Ignores* ignores = new Ignores();
    return *ignores;
}

}  // namespace

void SetAssertHandler(AssertHandler handler) {
    g_handler.store(handler ? handler : &AskThroughMessageBox);
}

void ResetAssertIgnores() {
    Ignores& ignores = IgnoredPlaces();
    std::lock_guard<std::mutex> hold(ignores.lock);
    ignores.places.clear();
}

void HYAssertFailed(const char* expression, const char* file, int line) {
    Ignores& ignores = IgnoredPlaces();
    {
        std::lock_guard<std::mutex> hold(ignores.lock);
        if (ignores.places.count({file, line})) return;
    }
    // One report at a time: an assertion failing while another is being reported is skipped.
    if (g_reportOpen.exchange(true)) return;

    DebugOutput::Error().Reportf("%s, File: %s, Line: %d", expression, file, line);
    char text[2048];
    std::snprintf(text, sizeof text, "%s\n File: %s, Line: %d", expression, file, line);
    AssertAnswer answer = g_handler.load()("Error", text);
    g_reportOpen.store(false);

    switch (answer) {
        case AA_Ignore: {
            std::lock_guard<std::mutex> hold(ignores.lock);
            ignores.places.insert({file, line});
            return;
        }
        case AA_Retry:
            if (HY_OS::IsDebuggerAttached()) HY_OS::BreakIntoDebugger();
            std::abort();
        case AA_Abort:
        default:
            std::abort();
    }
}
