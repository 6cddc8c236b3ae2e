#include "EventList.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "HYEvent.h"
#include "HYThread.h"
#include "HYTimer.h"
#include "ManualClock.h"

namespace {

TEST(EventList, AnEventRepostingItselfRunsOncePerPass) {
    auto list = EventList::Current();
    int runs = 0;
    std::unique_ptr<CallbackEvent> event;
    event = std::make_unique<CallbackEvent>(
        [&] {
            ++runs;
            event->Signal();
        },
        "again", __FILE__, __LINE__);
    event->Signal();
    EXPECT_EQ(list->Process(), 1);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(event->IsQueued());
    EXPECT_EQ(list->Process(), 1);
    EXPECT_EQ(runs, 2);
    event->Unlink();
    EXPECT_EQ(list->Process(), 0);
}

TEST(EventList, PostingAQueuedEventKeepsOneEntryAndCountsADuplicate) {
    auto list = EventList::Current();
    StatGroup& stats = EventStatistics();
    uint32_t duplicates = stats.Get(EST_Duplicates);
    int runs = 0;
    CallbackEvent event([&] { ++runs; }, "once", __FILE__, __LINE__);
    event.Signal();
    event.Signal();
    EXPECT_EQ(list->Length(), 1u);
    EXPECT_EQ(stats.Get(EST_Duplicates) - duplicates, 1u);
    list->Process();
    EXPECT_EQ(runs, 1);
}

TEST(EventList, EventsRunInPostOrderAndADestroyedEventLeavesTheList) {
    auto list = EventList::Current();
    std::vector<std::string> order;
    CallbackEvent a([&] { order.push_back("a"); }, "a", __FILE__, __LINE__);
    auto b = std::make_unique<CallbackEvent>([&] { order.push_back("b"); }, "b", __FILE__, __LINE__);
    CallbackEvent c([&] { order.push_back("c"); }, "c", __FILE__, __LINE__);
    a.Signal();
    b->Signal();
    c.Signal();
    b.reset();
    EXPECT_EQ(list->Process(), 2);
    EXPECT_EQ(order, (std::vector<std::string>{"a", "c"}));
}

TEST(HYEvent, SynchronousEventsRunAtOnceAndCopiesCarryTheirData) {
    int runs = 0;
    CallbackEvent now([&] { ++runs; }, "now", __FILE__, __LINE__, EK_Synchronous);
    EXPECT_EQ(now.Signal(), 0);
    EXPECT_EQ(runs, 1);

    struct Carrier : HYEvent {
        explicit Carrier(std::vector<int>* seen) : HYEvent(EK_CopyOnSignal), seen(seen) {}
        std::unique_ptr<HYEvent> Clone() const override { return std::make_unique<Carrier>(seen); }
        void Run() override { seen->push_back(*std::static_pointer_cast<int>(Data())); }
        std::vector<int>* seen;
    };
    std::vector<int> seen;
    Carrier carrier(&seen);
    carrier.Signal(std::make_shared<int>(1));
    carrier.Signal(std::make_shared<int>(2));
    EXPECT_FALSE(carrier.IsQueued()) << "copies are posted, not the original";
    EXPECT_EQ(EventList::Current()->Process(), 2);
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));
}

TEST(CallbackTimer, StoppingTakesBackAnEventThatFiredButHasNotRun) {
    hytest::ManualClock clock;
    HYThread* main = HYThread::Current();
    std::vector<std::string> ran;
    std::unique_ptr<CallbackTimer> second;
    CallbackTimer first([&] {
        ran.push_back("first");
        second->Stop();
    }, "First", __FILE__, __LINE__);
    second = std::make_unique<CallbackTimer>([&] { ran.push_back("second"); }, "Second", __FILE__,
                                             __LINE__);
    first.StartTimer(20);
    second->StartTimer(20);
    clock.Advance(25);
    main->RunOnce(false, false);
    EXPECT_EQ(ran, std::vector<std::string>{"first"});
    clock.Advance(100);
    main->RunOnce(false, false);
    EXPECT_EQ(ran, std::vector<std::string>{"first"});
}

}  // namespace
