#include "MainThread.h"

#include <glib.h>
#include <unistd.h>
#include <condition_variable>
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

bool OnMainThread() { return gettid() == getpid(); }

void RunOnMainLoop(const std::function<void()>& work) {
    if (OnMainThread()) {
        work();
        return;
    }
    struct Call {
        const std::function<void()>* work;
        std::mutex lock;
        std::condition_variable done;
        bool finished = false;
    } call{&work};
    // An idle source, not g_main_context_invoke: that would run the work right here whenever the
    // main thread happens to be between two iterations of its loop.
    g_idle_add(
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
