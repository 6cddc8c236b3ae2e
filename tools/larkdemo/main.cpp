// A small run of the runtime kernel: the launcher's log file, a worker thread whose periodic
// timer posts events back to the main thread, and the main thread pumping its own loop the way
// the launcher's window does. Prints what happened and leaves "LarkLauncher.Log.txt" in the
// current directory.
#include <atomic>
#include <cstdio>
#include <memory>

#include "Crc.h"
#include "EventList.h"
#include "HYEvent.h"
#include "HYThread.h"
#include "HYTimer.h"
#include "LauncherLog.h"
#include "LogMessage.h"
#include "TimerStatistics.h"

namespace {

constexpr int kTicks = 5;

struct Demo {
    std::shared_ptr<EventList> mainEvents;
    std::unique_ptr<CallbackEvent> report;  // bound to the main thread
    std::unique_ptr<CallbackTimer> tick;    // bound to the worker
    std::atomic<int> ticks{0};
    std::atomic<int> reported{0};
};

int WorkerStart(void* raw) {
    auto* demo = static_cast<Demo*>(raw);
    demo->tick = std::make_unique<CallbackTimer>(
        [demo] {
            int n = ++demo->ticks;
            HY_LOG(LL_Status, "PLAT_UTIL", "Demo::Tick", "worker tick %d of %d", n, kTicks);
            demo->report->Signal();  // crosses to the main thread as a posted event
            if (n == kTicks) HYThread::Current()->Stop(false);
        },
        "DemoTick", __FILE__, __LINE__, 100);
    HY_LOG(LL_Status, "PLAT_UTIL", "Demo::WorkerStart", "worker %s starts a 100 ms timer",
           HYThread::Current()->Name().c_str());
    return demo->tick->StartTimer(100);
}

int WorkerStop(void* raw) {
    static_cast<Demo*>(raw)->tick.reset();
    HY_LOG(LL_Status, "PLAT_UTIL", "Demo::WorkerStop", "worker stops");
    return 0;
}

}  // namespace

int main() {
    if (HYLog::StartLauncherLog() != 0) {
        std::fprintf(stderr, "larkdemo: cannot start the log file\n");
        return 1;
    }
    HYLog::ResetLogStatistics();
    HY_LOG(LL_Status, "PLAT_UTIL", "Demo::main", "CRC of \"123456789\" is 0x%08X",
           CrcUpdate(0, "123456789"));

    Demo demo;
    HYThread* main = HYThread::Current();
    demo.report = std::make_unique<CallbackEvent>(
        [&demo] {
            int n = ++demo.reported;
            HY_LOG(LL_Status, "PLAT_UTIL", "Demo::Report", "main thread saw tick %d", n);
        },
        "DemoReport", __FILE__, __LINE__);

    auto worker = std::make_shared<HYThread>("Worker", &WorkerStart, &WorkerStop, &demo);
    if (worker->Start(true, false) != 0) {
        std::fprintf(stderr, "larkdemo: the worker thread did not start\n");
        return 1;
    }
    // The main thread pumps its own loop; each blocking pass sleeps until the worker posts.
    while (demo.reported < kTicks) main->RunOnce(true, true);
    worker->Stop(true);
    HY_LOG(LL_Error, "PLAT_UTIL", "Demo::main", "an error-level line is on disk before the call returns");

    HYLog::LogStatistics stats = HYLog::GetLogStatistics();
    std::printf("worker ticks: %d, seen by main: %d, main loop passes: %llu\n", demo.ticks.load(),
                demo.reported.load(), static_cast<unsigned long long>(main->PassCount()));
    std::printf("log calls: %llu, dispatched: %llu, skipped: %llu, folded: %llu\n",
                static_cast<unsigned long long>(stats.calls),
                static_cast<unsigned long long>(stats.dispatched),
                static_cast<unsigned long long>(stats.skipped),
                static_cast<unsigned long long>(stats.folded));
    TimerStatistics().Print(0);
    demo.report.reset();
    HYLog::StopLogging();
    return 0;
}
