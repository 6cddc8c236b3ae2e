#include "FTList.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "HYTimerSet.h"
#include "SessionTimers.h"
#include "net_test_support.h"

namespace nettest {
namespace {

// Fires due timers: one non-blocking pass after moving the clock.
void Step(ManualClock& clock, uint64_t ms) {
    clock.Advance(ms);
    PumpFor(3);
}

TEST(FTList, TimersExpireOneIntervalAfterTheirStartInStartOrder) {
    ManualClock clock;
    RunOnWorker([&] {
        FTList<HYNullLock> list(10000);
        std::vector<std::string> fired;
        FTListTimer a([&] { fired.push_back("a"); }), b([&] { fired.push_back("b"); }),
            c([&] { fired.push_back("c"); });
        list.Start(a);
        Step(clock, 3000);
        list.Start(b);
        Step(clock, 3000);
        list.Start(c);
        EXPECT_EQ(list.Count(), 3u);
        EXPECT_EQ(list.Remaining(a), 4000u);
        EXPECT_EQ(list.Remaining(b), 7000u);
        EXPECT_EQ(list.Remaining(c), 10000u);
        Step(clock, 3999);
        EXPECT_TRUE(fired.empty());
        Step(clock, 1);
        EXPECT_EQ(fired, std::vector<std::string>{"a"});
        Step(clock, 6000);  // b at 13000 and c at 16000 in one go
        EXPECT_EQ(fired, (std::vector<std::string>{"a", "b", "c"}));
        EXPECT_EQ(list.Count(), 0u);
    });
}

TEST(FTList, StoppingATimerGivesItsTimeToTheNextAndRestartingMovesItToTheEnd) {
    ManualClock clock;
    RunOnWorker([&] {
        FTList<HYNullLock> list(10000);
        std::vector<std::string> fired;
        FTListTimer a([&] { fired.push_back("a"); }), b([&] { fired.push_back("b"); }),
            c([&] { fired.push_back("c"); });
        list.Start(a);
        Step(clock, 2000);
        list.Start(b);
        Step(clock, 2000);
        list.Start(c);
        Step(clock, 1000);
        list.Stop(a);  // the head
        EXPECT_FALSE(a.IsRunning());
        EXPECT_EQ(list.Remaining(b), 7000u);
        list.Start(b);  // restart: now due at 15000, after c
        EXPECT_EQ(list.Remaining(c), 9000u);
        EXPECT_EQ(list.Remaining(b), 10000u);
        Step(clock, 9000);
        EXPECT_EQ(fired, std::vector<std::string>{"c"});
        Step(clock, 1000);
        EXPECT_EQ(fired, (std::vector<std::string>{"c", "b"}));
        list.Stop(a);  // stopping a stopped timer changes nothing
        EXPECT_EQ(list.Count(), 0u);
    });
}

TEST(FTList, ACallbackMayRestartItselfAndDestroyATimerThatExpiredWithIt) {
    ManualClock clock;
    RunOnWorker([&] {
        FTList<HYNullLock> list(5000);
        int aFired = 0, bFired = 0;
        auto b = std::make_unique<FTListTimer>([&] { ++bFired; });
        FTListTimer a([&] {
            ++aFired;
            b.reset();
            list.Start(a);
        });
        list.Start(a);
        list.Start(*b);
        Step(clock, 5000);
        EXPECT_EQ(aFired, 1);
        EXPECT_EQ(bFired, 0) << "destroyed before its turn came";
        EXPECT_TRUE(a.IsRunning());
        Step(clock, 5000);
        EXPECT_EQ(aFired, 2);
    });
}

TEST(FTList, EachThreadHasItsOwnSessionTimerLists) {
    RunOnWorker([] {
        std::shared_ptr<SessionTimers> timers = SessionTimers::Current();
        EXPECT_EQ(timers, SessionTimers::Current());
        for (uint32_t interval : {25000u, 10000u, 4000u, 5000u}) {
            ASSERT_NE(timers->List(interval), nullptr);
            EXPECT_EQ(timers->List(interval)->Interval(), interval);
        }
        EXPECT_EQ(timers->List(1234), nullptr);
        EXPECT_EQ(&timers->KeepAliveList(), timers->List(10000));
    });
}

}  // namespace
}  // namespace nettest
