#include "net_test_support.h"

#include <cstdlib>
#include <memory>

#include "HYThread.h"
#include "LogRegistry.h"
#include "OsTime.h"

namespace nettest {

namespace {
// Addresses on this machine stay the loopback address in every test: the machine's own name is
// made to resolve to 127.0.0.1 only.
const bool kHostNameSet = [] {
    setenv("HY_HOSTNAME", "localhost", 1);
    return true;
}();

// Real time for the pump limits, whatever clock the test installed.
uint64_t RealMs() { return HY_OS::OsSysCalls().MonotonicMs(); }
}  // namespace

ScopedLogCapture::ScopedLogCapture() { (void)kHostNameSet; }

void RunOnWorker(const std::function<void()>& body) {
    (void)kHostNameSet;
    auto thread = std::make_shared<HYThread>(
        "NetTest",
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

}  // namespace nettest
