#include "ExitGuard.h"

#include <glib.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace larkhost {
namespace {

// The host's shutdown is given this long before the exit goes ahead regardless.
constexpr auto kShutdownLimit = std::chrono::seconds(90);

struct GuardState {
    std::thread::id mainThread;
    std::function<void(std::function<void()>)> shutdown;
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    std::atomic<bool> triggered{false};
};

GuardState& State() {
    // Never destroyed: the exit handler runs while static objects are being torn down.
    static GuardState* state = new GuardState();
    return *state;
}

void ParkForever() {
    for (;;) pause();
}

void OnExit() {
    GuardState& state = State();
    if (std::this_thread::get_id() == state.mainThread || !state.shutdown) return;
    if (state.triggered.exchange(true)) return;
    g_idle_add(
        [](gpointer) -> gboolean {
            GuardState& s = State();
            s.shutdown([] {
                GuardState& st = State();
                {
                    std::lock_guard<std::mutex> hold(st.lock);
                    st.done = true;
                }
                st.finished.notify_all();
                ParkForever();  // the exiting thread owns the process from here
            });
            return G_SOURCE_REMOVE;
        },
        nullptr);
    std::unique_lock<std::mutex> hold(state.lock);
    state.finished.wait_for(hold, kShutdownLimit, [&] { return state.done; });
}

}  // namespace

void InstallExitGuard(std::function<void(std::function<void()> done)> shutdown) {
    GuardState& state = State();
    state.mainThread = std::this_thread::get_id();
    state.shutdown = std::move(shutdown);
    static bool installed = false;
    if (!installed) {
        std::atexit(OnExit);
        installed = true;
    }
}

bool ExitGuardTriggered() { return State().triggered.load(); }

}  // namespace larkhost
