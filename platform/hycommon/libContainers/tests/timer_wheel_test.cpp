#include "TimerWheel.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "ManualClock.h"
#include "TimerStatistics.h"

namespace {

class TestTimer : public TimerWheelBaseNode {
public:
    explicit TestTimer(std::function<void()> onTimer, uint32_t interval = 0)
        : TimerWheelBaseNode(interval), m_onTimer(std::move(onTimer)) {}
    void OnTimer() override { m_onTimer(); }
    void PretendDestroyed() { ClearLivenessMarker(); }

private:
    std::function<void()> m_onTimer;
};

class WheelTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(wheel.Init(1024, 7), 0); }
    // Moves the clock and ticks; answers how many timers fired.
    uint32_t AdvanceAndTick(uint64_t ms) {
        clock.Advance(ms);
        return wheel.TickTimers();
    }
    hytest::ManualClock clock{1000000};
    TimerWheel wheel;
    std::vector<std::string> fired;
};

TEST_F(WheelTest, InitRefusesBadShapes) {
    TimerWheel other;
    EXPECT_EQ(other.Init(0, 7), 1);
    EXPECT_EQ(other.Init(1025, 7), 1);
    EXPECT_EQ(other.Init(16, 0), 1);
    EXPECT_EQ(other.Init(1, 1), 0);
}

TEST_F(WheelTest, NoTimerMeansWaitForeverAndTheNextExpiryBoundsTheWait) {
    EXPECT_EQ(wheel.TimeUntilNextExpiry(), -1);
    TestTimer t([&] { fired.push_back("t"); });
    wheel.StartTimer(&t, 250);
    EXPECT_EQ(wheel.TimeUntilNextExpiry(), 250);
    EXPECT_EQ(AdvanceAndTick(249), 0u);
    EXPECT_EQ(wheel.TimeUntilNextExpiry(), 1);
    EXPECT_EQ(AdvanceAndTick(1), 1u);
    EXPECT_EQ(t.State(), TS_Fired);
    EXPECT_EQ(wheel.TimeUntilNextExpiry(), -1);
}

TEST_F(WheelTest, DelayZeroFiresOnTheNextTickNeverTheOneThatStartedIt) {
    TestTimer second([&] { fired.push_back("second"); });
    TestTimer first([&] {
        fired.push_back("first");
        wheel.StartTimer(&second, 0);
    });
    wheel.StartTimer(&first, 10);
    EXPECT_EQ(AdvanceAndTick(10), 1u);
    EXPECT_EQ(fired, std::vector<std::string>{"first"});
    EXPECT_EQ(wheel.TimeUntilNextExpiry(), 0);
    EXPECT_EQ(AdvanceAndTick(0), 1u);
    EXPECT_EQ(fired, (std::vector<std::string>{"first", "second"}));
}

TEST_F(WheelTest, EqualExpiriesFireInStartOrder) {
    std::vector<std::unique_ptr<TestTimer>> timers;
    for (int i = 0; i < 5; ++i) {
        timers.push_back(std::make_unique<TestTimer>([&, i] { fired.push_back(std::to_string(i)); }));
    }
    wheel.StartTimer(timers[3].get(), 30);
    wheel.StartTimer(timers[0].get(), 30);
    wheel.StartTimer(timers[4].get(), 30);
    wheel.StartTimer(timers[1].get(), 20);
    wheel.StartTimer(timers[2].get(), 30);
    EXPECT_EQ(AdvanceAndTick(30), 5u);
    EXPECT_EQ(fired, (std::vector<std::string>{"1", "3", "0", "4", "2"}));
}

TEST_F(WheelTest, ATimerMoreThanOneRevolutionAheadWaitsForItsOwnTime) {
    const uint32_t revolution = 1024 * 7;
    TestTimer near([&] { fired.push_back("near"); });
    TestTimer far([&] { fired.push_back("far"); });
    wheel.StartTimer(&far, 100 + revolution);
    wheel.StartTimer(&near, 100);
    EXPECT_EQ(AdvanceAndTick(150), 1u);
    EXPECT_EQ(fired, std::vector<std::string>{"near"});
    EXPECT_TRUE(far.IsRunning());
    EXPECT_EQ(wheel.TimeUntilNextExpiry(), static_cast<int64_t>(revolution - 50));
    EXPECT_EQ(AdvanceAndTick(revolution - 51), 0u);
    EXPECT_EQ(AdvanceAndTick(1), 1u);
    EXPECT_EQ(fired.back(), "far");
}

TEST_F(WheelTest, AfterSleepingThroughRevolutionsOneTickFiresEveryOverdueTimerAndCountsLateness) {
    StatGroup& stats = TimerStatistics();
    uint32_t overrunsBefore = stats.Get(TST_Overruns);
    std::vector<std::unique_ptr<TestTimer>> timers;
    std::vector<uint64_t> order;
    const uint32_t delays[] = {5, 7000, 7168 + 5, 20000, 14336 + 5, 40};
    for (uint32_t d : delays) {
        timers.push_back(std::make_unique<TestTimer>([&order, d] { order.push_back(d); }));
        wheel.StartTimer(timers.back().get(), d);
    }
    EXPECT_EQ(AdvanceAndTick(50000), 6u);
    // Same slot (5, 7173, 14341): expiry order within it.
    std::vector<uint64_t> slotFive;
    for (uint64_t d : order)
        if (d % 7168 == 5) slotFive.push_back(d);
    EXPECT_EQ(slotFive, (std::vector<uint64_t>{5, 7173, 14341}));
    EXPECT_EQ(stats.Get(TST_Overruns) - overrunsBefore, 6u);
    EXPECT_EQ(wheel.RunningCount(), 0u);
}

TEST_F(WheelTest, APeriodicTimerThatStopsItselfDoesNotFireAgain) {
    int count = 0;
    std::unique_ptr<TestTimer> periodic;
    periodic = std::make_unique<TestTimer>(
        [&] {
            if (++count == 3) wheel.StopTimer(periodic.get());
        },
        500);
    wheel.StartTimer(periodic.get(), 500);
    for (int i = 0; i < 10; ++i) AdvanceAndTick(500);
    EXPECT_EQ(count, 3);
    EXPECT_FALSE(periodic->IsRunning());
}

TEST_F(WheelTest, RestartMovesAndStopRefusesForeignTimers) {
    TestTimer t([&] { fired.push_back("t"); });
    wheel.StartTimer(&t, 100);
    wheel.StartTimer(&t, 300);
    EXPECT_EQ(wheel.RunningCount(), 1u);
    EXPECT_EQ(AdvanceAndTick(100), 0u);
    EXPECT_EQ(AdvanceAndTick(200), 1u);
    TimerWheel other;
    other.Init(16, 7);
    wheel.StartTimer(&t, 10);
    EXPECT_EQ(other.StopTimer(&t), 1);
    EXPECT_EQ(wheel.StopTimer(&t), 0);
    EXPECT_EQ(wheel.StopTimer(&t), 1);
}

TEST_F(WheelTest, ADestroyedTimerIsSkippedWithAWarningAndNeverFired) {
    hytest::ScopedLogCapture capture(LL_Warning);
    TestTimer dead([&] { fired.push_back("dead"); });
    dead.SetName("DeadTimer");
    TestTimer alive([&] { fired.push_back("alive"); });
    wheel.StartTimer(&dead, 20);
    wheel.StartTimer(&alive, 20);
    dead.PretendDestroyed();
    EXPECT_EQ(AdvanceAndTick(20), 1u);
    EXPECT_EQ(fired, std::vector<std::string>{"alive"});
    EXPECT_EQ(wheel.RunningCount(), 0u);

    dead.Expire(wheel);  // firing a destroyed timer directly is refused too
    EXPECT_EQ(capture->Texts(), (std::vector<std::string>{
                                    "Timer object already destructed. NameLast:NA, Now:DeadTimer",
                                    "Timer object already deleted."}));
}

TEST_F(WheelTest, RandomScheduleFiresEveryTimerOnceAtTheFirstTickAtOrAfterItsExpiry) {
    std::mt19937 random(7);
    struct Entry {
        std::unique_ptr<TestTimer> timer;
        uint64_t expiry = 0;
        int fires = 0;
    };
    std::vector<Entry> entries(3000);
    uint64_t now = 0;
    bool bad = false;
    for (auto& e : entries) {
        Entry* self = &e;
        e.timer = std::make_unique<TestTimer>([&, self] {
            ++self->fires;
            if (now < self->expiry) bad = true;
        });
    }
    size_t started = 0;
    while (now < 60000) {
        for (int k = 0; k < 40 && started < entries.size(); ++k, ++started) {
            uint32_t delay = random() % 20000;
            entries[started].expiry = now + delay;
            wheel.StartTimer(entries[started].timer.get(), delay);
        }
        uint64_t step = random() % 50;
        clock.Advance(step);
        now += step;
        wheel.TickTimers();
        for (size_t i = 0; i < started; ++i) {
            // Everything due by now has fired, exactly once.
            if (entries[i].expiry <= now) ASSERT_EQ(entries[i].fires, 1) << i;
            else ASSERT_EQ(entries[i].fires, 0) << i;
        }
        if (wheel.RunningCount() > 0) {
            ASSERT_GE(wheel.TimeUntilNextExpiry(), 0);
        }
    }
    EXPECT_FALSE(bad);
}

}  // namespace
