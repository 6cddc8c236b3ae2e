// Work handed to the main loop (the default GLib main context) from any thread.
#pragma once

#include <functional>
#include <memory>

namespace larkhost {

// Runs `work` from the main loop later, unless `alive` has expired by then.
void PostToMainLoop(const std::shared_ptr<bool>& alive, std::function<void()> work);

// True on the process's first thread, the one that runs the main loop.
bool OnMainThread();

// Runs `work` on the main loop and waits until it has run. Called on the main thread, it runs
// `work` at once.
void RunOnMainLoop(const std::function<void()>& work);

}  // namespace larkhost
