// The launcher window's costs: the time from IFnShowUI to the first page shown (a page of a
// loopback server), against the time to the dialog's "InitDialog" in the same run; and the
// processor time the window's process uses while it stands idle for 10 seconds, with the
// launcher's wait source and with the plain Tick loop (a 1 ms sleep per Tick) as the reference.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <gtk/gtk.h>
#include <httplib.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "WindowLibraryExports.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Library {
    decltype(&IFnShowUI) showUI = nullptr;
    decltype(&IFnGotoPage) gotoPage = nullptr;
    decltype(&IFnPostQuitMessage) postQuit = nullptr;
    decltype(&IFnSetTickWaitSource) setWait = nullptr;
    bool ok = false;
    Library() {
        void* handle = dlopen(LARK_UI_LIBRARY, RTLD_NOW);
        if (!handle) return;
        using namespace WindowExportSymbols;
        showUI = reinterpret_cast<decltype(showUI)>(dlsym(handle, kShowUI));
        gotoPage = reinterpret_cast<decltype(gotoPage)>(dlsym(handle, kGotoPage));
        postQuit = reinterpret_cast<decltype(postQuit)>(dlsym(handle, kPostQuitMessage));
        setWait = reinterpret_cast<decltype(setWait)>(dlsym(handle, kSetTickWaitSource));
        ok = showUI && gotoPage && postQuit && setWait;
    }
};

Library& Lib() {
    static Library library;
    return library;
}

bool Ready(benchmark::State& state) {
    setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
    if (!gtk_init_check(nullptr, nullptr)) {
        state.SkipWithError("no display (run under launcher-ui/tests/run_on_display.sh)");
        return false;
    }
    if (!Lib().ok) {
        state.SkipWithError("cannot load " LARK_UI_LIBRARY);
        return false;
    }
    setenv("XDG_CONFIG_HOME", "/tmp/bench_window_config", 1);
    return true;
}

struct Server {
    httplib::Server server;
    std::thread thread;
    int port;
    Server() {
        server.Get("/news", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><body style=\"background:#7fb069\"><h1>News</h1></body></html>",
                            "text/html");
        });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ~Server() {
        server.stop();
        thread.join();
    }
};

struct FirstPage {
    Clock::time_point start, initDialog, shown;
    std::string url;
    bool done = false;
};

void BM_ShowUIToFirstPage(benchmark::State& state) {
    if (!Ready(state)) return;
    Server server;
    FirstPage run;
    run.url = "http://127.0.0.1:" + std::to_string(server.port) + "/news";
    CommandDelegate delegate;
    delegate.object = &run;
    delegate.function = [](void* self, ExeParams& params) {
        auto* r = static_cast<FirstPage*>(self);
        std::string command = params.command;
        if (command == "Tick") {
            g_usleep(1000);
        } else if (command == "InitDialog") {
            r->initDialog = Clock::now();
            Lib().gotoPage(r->url, false);
        } else if (command.find("document has completed loading") != std::string::npos &&
                   !r->done) {
            r->done = true;
            r->shown = Clock::now();
            Lib().postQuit();
        }
    };
    double toPage = 0, toInit = 0;
    for (auto _ : state) {
        run.done = false;
        run.start = Clock::now();
        Lib().showUI("", 0, false, "Software\\Halcyra\\Bench", "", &delegate);
        if (!run.done) {
            state.SkipWithError("the page never loaded");
            return;
        }
        double page = std::chrono::duration<double>(run.shown - run.start).count();
        toPage += page * 1e3;
        toInit += std::chrono::duration<double, std::milli>(run.initDialog - run.start).count();
        state.SetIterationTime(page);
    }
    state.counters["ms_to_first_page"] = toPage / state.iterations();
    state.counters["ms_to_InitDialog"] = toInit / state.iterations();
    state.counters["page_vs_dialog"] = toPage / toInit;
}
BENCHMARK(BM_ShowUIToFirstPage)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

struct Idle {
    bool withWaitSource;
    int descriptor;
    gint64 nextTimer;  // the launcher's 1-second housekeeping timer
    double cpuStart = 0, cpuEnd = 0;
    Clock::time_point start;
    int ticks = 0;
    bool measuring = false;
};

void BM_IdleCpuFor10s(benchmark::State& state) {
    if (!Ready(state)) return;
    Idle idle{state.range(0) == 1, eventfd(0, EFD_NONBLOCK), -1};
    CommandDelegate delegate;
    delegate.object = &idle;
    delegate.function = [](void* self, ExeParams& params) {
        auto* i = static_cast<Idle*>(self);
        std::string command = params.command;
        if (command == "InitDialog" && i->withWaitSource) {
            TickWaitSource source;
            source.descriptor = i->descriptor;
            source.context = i;
            source.timeoutMs = [](void* context) {
                auto* self = static_cast<Idle*>(context);
                gint64 left = (self->nextTimer - g_get_monotonic_time()) / 1000;
                return static_cast<int>(left < 0 ? 0 : left);
            };
            i->nextTimer = g_get_monotonic_time() + 1000000;
            Lib().setWait(source);
        }
        if (command != "Tick") return;
        if (i->withWaitSource && g_get_monotonic_time() >= i->nextTimer) i->nextTimer += 1000000;
        if (!i->withWaitSource) g_usleep(1000);  // the launcher's sleep per Tick
        if (i->measuring) ++i->ticks;
    };
    for (auto _ : state) {
        guint settle = g_timeout_add(
            1000,
            [](gpointer data) -> gboolean {
                auto* i = static_cast<Idle*>(data);
                i->measuring = true;
                i->start = Clock::now();
                i->cpuStart = CpuSeconds();
                g_timeout_add(
                    10000,
                    [](gpointer data) -> gboolean {
                        auto* i = static_cast<Idle*>(data);
                        i->cpuEnd = CpuSeconds();
                        i->measuring = false;
                        Lib().postQuit();
                        return G_SOURCE_REMOVE;
                    },
                    i);
                return G_SOURCE_REMOVE;
            },
            &idle);
        (void)settle;
        Lib().showUI("", 0, false, "Software\\Halcyra\\Bench", "", &delegate);
        Lib().setWait(TickWaitSource{});
    }
    close(idle.descriptor);
    state.counters["cpu_percent_of_a_core"] = (idle.cpuEnd - idle.cpuStart) / 10.0 * 100.0;
    state.counters["ticks_per_s"] = idle.ticks / 10.0;
}
BENCHMARK(BM_IdleCpuFor10s)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
