#include "HYAssert.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "DebugOutput.h"
#include "OsHost.h"

namespace {

// Asks on the terminal when there is one; with nobody to ask, the safe answer is to stop.
AssertAnswer AskOnTerminal(const char* title, const char* text) {
    std::fprintf(stderr, "%s: %s\n", title, text);
    if (!isatty(STDIN_FILENO)) return AA_Abort;
    std::fprintf(stderr, "Abort, Retry or Ignore? [a/r/i] ");
    int c = std::getchar();
    if (c == 'i' || c == 'I') return AA_Ignore;
    if (c == 'r' || c == 'R') return AA_Retry;
    return AA_Abort;
}

std::atomic<AssertHandler> g_handler{&AskOnTerminal};
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
    g_handler.store(handler ? handler : &AskOnTerminal);
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
