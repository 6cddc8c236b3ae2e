#include "HYThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "EventList.h"
#include "HYEvent.h"
#include "HYTimer.h"
#include "OsTime.h"

namespace {

struct Probe {
    std::atomic<int> started{0};
    std::atomic<int> stopped{0};
    int startAnswer = 0;
    int stopAnswer = 7;
};

int StartRoutine(void* raw) {
    auto* probe = static_cast<Probe*>(raw);
    ++probe->started;
    return probe->startAnswer;
}

int StopRoutine(void* raw) {
    auto* probe = static_cast<Probe*>(raw);
    ++probe->stopped;
    return probe->stopAnswer;
}

TEST(HYThread, StartAndStopHandshakesAndNames) {
    Probe probe;
    auto thread = std::make_shared<HYThread>("", &StartRoutine, &StopRoutine, &probe);
    EXPECT_EQ(thread->RunOnce(false, false), 1) << "not running yet";
    ASSERT_EQ(thread->Start(true, false), 0);
    EXPECT_EQ(thread->State(), HTS_Running);
    EXPECT_EQ(probe.started.load(), 1);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", thread->ThreadId());
    EXPECT_EQ(thread->Name(), hex);
    EXPECT_EQ(thread->Start(true, false), 1) << "only a stopped thread starts";
    EXPECT_EQ(thread->Stop(true), 7);
    EXPECT_EQ(probe.stopped.load(), 1);
    EXPECT_EQ(thread->State(), HTS_Stopped);
    EXPECT_EQ(thread->Name(), "INVALID");
    EXPECT_EQ(thread->Stop(true), 1) << "not running";
    EXPECT_EQ(thread->RunOnce(false, false), 1);
}

TEST(HYThread, AFailingStartRoutineEndsTheThreadWithoutLooping) {
    Probe probe;
    probe.startAnswer = 3;
    auto thread = std::make_shared<HYThread>("Failing", &StartRoutine, &StopRoutine, &probe);
    EXPECT_EQ(thread->Start(true, false), 3);
    for (int i = 0; i < 200 && thread->State() != HTS_Stopped; ++i) HY_OS::SleepMs(5);
    EXPECT_EQ(thread->State(), HTS_Stopped);
    EXPECT_EQ(probe.stopped.load(), 1);
    EXPECT_EQ(thread->PassCount(), 0u);
}

TEST(HYThread, EventsPostedFromAnotherThreadRunOnTheOwner) {
    auto thread = std::make_shared<HYThread>("Worker", nullptr, nullptr, nullptr);
    ASSERT_EQ(thread->Start(true, false), 0);
    std::atomic<uint32_t> ranOn{0};
    std::unique_ptr<CallbackEvent> event;
    // The event must be made on the worker so that it binds to the worker's list.
    HY_OS::Semaphore made;
    auto maker = std::make_unique<CallbackEvent>(
        [&] {
            event = std::make_unique<CallbackEvent>([&] { ranOn = HYThread::CurrentThreadId(); },
                                                    "probe", __FILE__, __LINE__);
            made.Release();
        },
        "maker", __FILE__, __LINE__);
    // Bind the maker to the worker by moving it there through its own list.
    thread->Events()->Post(maker.get());
    made.Wait();
    ASSERT_EQ(event->Signal(), 0);
    for (int i = 0; i < 200 && ranOn == 0; ++i) HY_OS::SleepMs(5);
    EXPECT_EQ(ranOn.load(), thread->ThreadId());
    EXPECT_EQ(thread->Stop(true), 0);
    EXPECT_EQ(event->Signal(), 1) << "the worker's list is gone with its thread";
}

TEST(HYThread, AThreadStoppingItselfReturnsWithoutWaiting) {
    std::shared_ptr<HYThread> thread = std::make_shared<HYThread>("Self", nullptr, nullptr, nullptr);
    std::atomic<int> answer{-5};
    struct Context {
        std::shared_ptr<HYThread>* thread;
        std::atomic<int>* answer;
    } context{&thread, &answer};
    auto start = [](void* raw) -> int {
        auto* c = static_cast<Context*>(raw);
        // Stops itself from its first loop pass, through a timer.
        auto* timer = new CallbackTimer(
            [c] { *c->answer = (*c->thread)->Stop(true); }, "SelfStop", __FILE__, __LINE__);
        timer->StartTimer(0);
        HYThread::Current()->AddCleanup([](void* t) { delete static_cast<CallbackTimer*>(t); }, timer);
        return 0;
    };
    thread = std::make_shared<HYThread>("Self", start, nullptr, &context);
    ASSERT_EQ(thread->Start(true, false), 0);
    for (int i = 0; i < 400 && thread->State() != HTS_Stopped; ++i) HY_OS::SleepMs(5);
    EXPECT_EQ(thread->State(), HTS_Stopped);
    EXPECT_EQ(answer.load(), 0);
}

TEST(HYThread, TheLoopSleepsUntilTheNextTimer) {
    struct Context {
        std::atomic<uint64_t> firedAt{0};
        uint64_t startedAt = 0;
        std::unique_ptr<CallbackTimer> timer;
    } context;
    auto start = [](void* raw) -> int {
        auto* c = static_cast<Context*>(raw);
        c->timer = std::make_unique<CallbackTimer>([c] { c->firedAt = HY_OS::GetMonotonicMs(); },
                                                   "Sleep", __FILE__, __LINE__);
        c->startedAt = HY_OS::GetMonotonicMs();
        return c->timer->StartTimer(150);
    };
    auto stop = [](void* raw) -> int {
        static_cast<Context*>(raw)->timer.reset();
        return 0;
    };
    auto thread = std::make_shared<HYThread>("Sleeper", start, stop, &context);
    ASSERT_EQ(thread->Start(true, false), 0);
    for (int i = 0; i < 200 && context.firedAt == 0; ++i) HY_OS::SleepMs(5);
    uint64_t passes = thread->PassCount();
    thread->Stop(true);
    ASSERT_NE(context.firedAt.load(), 0u);
    EXPECT_GE(context.firedAt - context.startedAt, 150u);
    EXPECT_LE(context.firedAt - context.startedAt, 1000u) << "late beyond any scheduling delay";
    // One pass that slept until the timer, perhaps a second for the clock's rounding: never a
    // polling loop.
    EXPECT_LE(passes, 4u);
}

TEST(HYThread, TheCallingThreadIsAdoptedAsMainAndPumpsItsOwnLoop) {
    HYThread* main = HYThread::Current();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->Name(), "Main");
    EXPECT_TRUE(main->IsAdopted());
    EXPECT_EQ(main->State(), HTS_Running);
    EXPECT_EQ(HYThread::Current(), main);
    int ran = 0;
    CallbackEvent event([&] { ++ran; }, "count", __FILE__, __LINE__);
    event.Signal();
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(main->RunOnce(false, false), 0);
    EXPECT_EQ(ran, 1);
}

}  // namespace
