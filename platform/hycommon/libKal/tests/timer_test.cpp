#include "HYTimer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "HYThread.h"
#include "HYTimerSet.h"
#include "LogCapture.h"
#include "ManualClock.h"

namespace {

using hytest::ManualClock;

class CountingTimer : public HYTimer {
public:
    using HYTimer::HYTimer;
    void OnTimer() override { ++fired; }
    void PretendDestroyed() { ClearLivenessMarker(); }
    int fired = 0;
};

TEST(HYTimer, APeriodicTimerFiresFromTheOwningThreadsPasses) {
    ManualClock clock;
    HYThread* main = HYThread::Current();
    CountingTimer timer(500);
    ASSERT_EQ(timer.StartTimer(500), 0);
    EXPECT_EQ(timer.TimerSet(), HYTimerSet::Current());
    EXPECT_EQ(timer.Name(), "(anonymous namespace)::CountingTimer");
    for (int i = 0; i < 4; ++i) {
        clock.Advance(500);
        main->RunOnce(false, false);
    }
    EXPECT_EQ(timer.fired, 4);
    EXPECT_EQ(timer.StopTimer(), 0);
    EXPECT_EQ(timer.StopTimer(), 0) << "a timer not running answers 0";
    clock.Advance(1000);
    main->RunOnce(false, false);
    EXPECT_EQ(timer.fired, 4);
}

TEST(HYTimer, ADestroyedTimerIsRefusedWithTheErrorAndTheStack) {
    hytest::ScopedLogCapture capture(LL_Warning);
    CountingTimer timer;
    timer.StartTimer(1000);
    timer.PretendDestroyed();
    EXPECT_EQ(timer.StartTimer(10), 1);
    EXPECT_EQ(timer.StopTimer(), 1);
    std::vector<std::string> texts = capture->Texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[0], "HYTimer::StartTimer, Object already destructed.");
    EXPECT_EQ(texts[1].substr(0, 3), "00 ") << "the caller's stack follows";
    EXPECT_EQ(capture->Count("HYTimer::StopTimer, Object already destructed."), 1);
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
