#include "WorkerPump.h"

#include <memory>

#include "HYThread.h"
#include "OsSysCalls.h"
#include "OsTime.h"

namespace hytest {

namespace {
// Real time for the limits, whatever clock the test installed through the seam.
uint64_t RealMs() { return HY_OS::OsSysCalls().MonotonicMs(); }
}  // namespace

void RunOnWorker(const std::function<void()>& body, const char* threadName) {
    auto thread = std::make_shared<HYThread>(
        threadName,
        [](void* context) {
            (*static_cast<const std::function<void()>*>(context))();
            return 1;  // done: the thread ends without running its loop
        },
        nullptr, const_cast<std::function<void()>*>(&body));
    thread->Start(true, false);
    thread->Stop(true);
}

bool PumpUntil(const std::function<bool()>& done, uint32_t limitMs) {
    HYThread* thread = HYThread::Current();
    uint64_t end = RealMs() + limitMs;
    while (!done()) {
        if (RealMs() > end) return done();
        thread->RunOnce(false, false);
        if (!done()) HY_OS::SleepMs(1);
    }
    return true;
}

void PumpFor(uint32_t ms) {
    HYThread* thread = HYThread::Current();
    uint64_t end = RealMs() + ms;
    while (RealMs() < end) {
        thread->RunOnce(false, false);
        HY_OS::SleepMs(1);
    }
}

}  // namespace hytest
