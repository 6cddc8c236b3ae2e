// Wine ends the whole process with exit() when the Windows program inside it ends, on Wine's
// thread, while the host's main loop is still running. The exit guard makes the host's own
// shutdown (bottles, sockets, log) run first: its exit handler asks the main loop to shut the
// host down, waits until that is done, and leaves the main thread parked so that nothing of the
// host runs while the process's exit handlers and destructors do.
#pragma once

#include <functional>

namespace larkhost {

// `shutdown` runs on the main loop and calls its argument once the host has shut down.
// Exits that start on the main thread itself (the host quitting normally) are not held.
void InstallExitGuard(std::function<void(std::function<void()> done)> shutdown);

// True once the guard has seen an exit from another thread (for the log).
bool ExitGuardTriggered();

}  // namespace larkhost
