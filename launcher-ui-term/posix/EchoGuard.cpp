#include "EchoGuard.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace LarkTerm {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

// Read by the signal handler: written only while the handlers are not installed.
int g_descriptor = -1;
volatile sig_atomic_t g_active = 0;
termios g_saved;
struct sigaction g_previous[kSignalCount];

int SignalIndex(int signal) {
    for (int i = 0; i < kSignalCount; ++i)
        if (kSignals[i] == signal) return i;
    return -1;
}

// Async-signal-safe only: tcsetattr, sigaction and raise.
void OnSignal(int signal) {
    ::tcsetattr(g_descriptor, TCSANOW, &g_saved);
    int index = SignalIndex(signal);
    if (index >= 0) ::sigaction(signal, &g_previous[index], nullptr);
    // Delivered again once this handler returns, now to the previous handler (or the default
    // action, which ends the process).
    ::raise(signal);
}

// A launcher that ends the process from inside a Tick while the password is typed still leaves the
// terminal as it found it.
void RestoreAtExit() {
    if (g_active) ::tcsetattr(g_descriptor, TCSANOW, &g_saved);
}

}  // namespace

bool EchoGuard::Disable(int descriptor) {
    if (m_active || !::isatty(descriptor)) return false;
    termios modes;
    if (::tcgetattr(descriptor, &modes) != 0) return false;
    g_descriptor = descriptor;
    g_saved = modes;
    struct sigaction action {};
    action.sa_handler = &OnSignal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &action, &g_previous[i]);
    modes.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL);
    if (::tcsetattr(descriptor, TCSANOW, &modes) != 0) {
        for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
        return false;
    }
    static bool atExitRegistered = false;
    if (!atExitRegistered) atExitRegistered = std::atexit(&RestoreAtExit) == 0;
    g_active = 1;
    m_active = true;
    return true;
}

void EchoGuard::Restore() {
    if (!m_active) return;
    g_active = 0;
    ::tcsetattr(g_descriptor, TCSANOW, &g_saved);
    for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
    m_active = false;
}

}  // namespace LarkTerm
