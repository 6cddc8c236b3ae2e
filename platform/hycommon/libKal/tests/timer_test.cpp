#include "HYTimer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "HYThread.h"
#include "HYTimerSet.h"
#include "LogReactor.h"
#include "LogRegistry.h"
#include "OsSysCalls.h"

namespace {

class ManualClock : public HY_OS::OsSysCalls {
public:
    uint64_t MonotonicMs() override { return now; }
    uint64_t now = 9000000;
};

class Capture : public LogReactor {
public:
    Capture() : LogReactor("CAPTURE", LL_Warning) {}
    int Write(const LogRecord& r) override {
        texts.emplace_back(r.text);
        return 0;
    }
    std::vector<std::string> texts;
};

class CountingTimer : public HYTimer {
public:
    using HYTimer::HYTimer;
    void OnTimer() override { ++fired; }
    void PretendDestroyed() { ClearLivenessMarker(); }
    int fired = 0;
};

TEST(HYTimer, APeriodicTimerFiresFromTheOwningThreadsPasses) {
    ManualClock clock;
    HY_OS::ScopedSysCalls install(clock);
    HYThread* main = HYThread::Current();
    CountingTimer timer(500);
    ASSERT_EQ(timer.StartTimer(500), 0);
    EXPECT_EQ(timer.TimerSet(), HYTimerSet::Current());
    EXPECT_EQ(timer.Name(), "(anonymous namespace)::CountingTimer");
    for (int i = 0; i < 4; ++i) {
        clock.now += 500;
        main->RunOnce(false, false);
    }
    EXPECT_EQ(timer.fired, 4);
    EXPECT_EQ(timer.StopTimer(), 0);
    EXPECT_EQ(timer.StopTimer(), 0) << "a timer not running answers 0";
    clock.now += 1000;
    main->RunOnce(false, false);
    EXPECT_EQ(timer.fired, 4);
}

TEST(HYTimer, ADestroyedTimerIsRefusedWithTheErrorAndTheStack) {
    auto capture = std::make_shared<Capture>();
    ASSERT_EQ(LogRegistry::Instance().RegisterReactor(capture), 0);
    CountingTimer timer;
    timer.StartTimer(1000);
    timer.PretendDestroyed();
    EXPECT_EQ(timer.StartTimer(10), 1);
    EXPECT_EQ(timer.StopTimer(), 1);
    LogRegistry::Instance().ShutdownAll();
    ASSERT_GE(capture->texts.size(), 2u);
    EXPECT_EQ(capture->texts[0], "HYTimer::StartTimer, Object already destructed.");
    EXPECT_EQ(capture->texts[1].substr(0, 3), "00 ");
    bool stopSeen = false;
    for (const auto& t : capture->texts) stopSeen |= t == "HYTimer::StopTimer, Object already destructed.";
    EXPECT_TRUE(stopSeen);
    HYTimerSet::Current()->Clear();  // the pretend-destroyed timer must not stay on the wheel
}

TEST(HYTimer, ATimerWhoseThreadEndedCannotStart) {
    std::unique_ptr<CountingTimer> timer = std::make_unique<CountingTimer>();
    auto start = [](void* raw) -> int {
        return static_cast<CountingTimer*>(raw)->StartTimer(60000);
    };
    auto thread = std::make_shared<HYThread>("Short", start, nullptr, timer.get());
    ASSERT_EQ(thread->Start(true, false), 0);
    EXPECT_TRUE(timer->IsRunning());
    thread->Stop(true);
    EXPECT_FALSE(timer->IsRunning()) << "the ended thread's wheel let go of it";
    EXPECT_EQ(timer->StartTimer(10), 1);
}

TEST(HYTimerSet, WaitIsInfiniteWithoutTimers) {
    auto set = std::make_shared<HYTimerSet>();
    EXPECT_EQ(set->TimeUntilNextExpiry(), -1);
}

}  // namespace
