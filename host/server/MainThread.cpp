#include "MainThread.h"

#include <condition_variable>
#include <glib.h>
#include <mutex>

namespace larkhost {

void PostToMainLoop(const std::shared_ptr<bool>& alive, std::function<void()> work) {
    struct Job {
        std::weak_ptr<bool> alive;
        std::function<void()> work;
    };
    auto* job = new Job{alive, std::move(work)};
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            auto* j = static_cast<Job*>(data);
            if (j->alive.lock()) j->work();
            return G_SOURCE_REMOVE;
        },
        job, [](gpointer data) { delete static_cast<Job*>(data); });
}

void RunOnMainLoop(const std::function<void()>& work) {
    struct Call {
        const std::function<void()>* work;
        std::mutex lock;
        std::condition_variable done;
        bool finished = false;
    } call{&work};
    // g_main_context_invoke runs at once when this thread already owns the main context.
    g_main_context_invoke(
        nullptr,
        [](gpointer data) -> gboolean {
            auto* c = static_cast<Call*>(data);
            (*c->work)();
            {
                std::lock_guard<std::mutex> hold(c->lock);
                c->finished = true;
            }
            c->done.notify_all();
            return G_SOURCE_REMOVE;
        },
        &call);
    std::unique_lock<std::mutex> hold(call.lock);
    call.done.wait(hold, [&] { return call.finished; });
}

}  // namespace larkhost
