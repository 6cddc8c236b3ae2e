#include "HYThread.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <memory>
#include <thread>

#include "posix/EpollMirror.h"
#include "EventList.h"
#include "HYEvent.h"
#include "HYTimer.h"
#include "IoHandle.h"
#include "ManualClock.h"
#include "SocketPair.h"

namespace {

bool Readable(int fd, int timeoutMs = 0) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, timeoutMs) == 1 && (entry.revents & POLLIN) != 0;
}

// Runs passes of the calling thread until nothing is left to do.
void Drain(HYThread* thread) {
    for (int i = 0; i < 8; ++i) thread->RunOnce(false, true);
}

// A socket end that reads whatever arrives.
class Reader : public IoHandle {
public:
    explicit Reader(int fd) { SetHandleAndMask(fd, IO_Readable); }
    bool IsPlainHandle() const override { return false; }
    int OnReadable() override {
        char buffer[64];
        if (kaltest::ReadSome(Handle(), buffer, sizeof buffer) > 0) ++reads;
        return 0;
    }
    int reads = 0;
};

TEST(HYThreadWaitDescriptor, PostedEventsWakeItAndAPassClearsIt) {
    HYThread* main = HYThread::Current();
    int fd = main->WaitDescriptor();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(main->WaitDescriptor(), fd) << "one descriptor for the thread's life";
    Drain(main);
    EXPECT_FALSE(Readable(fd)) << "idle: nothing to wake for";

    std::atomic<int> ran{0};
    CallbackEvent event([&] { ++ran; }, "probe", __FILE__, __LINE__);
    std::thread poster([&] { main->Events()->Post(&event); });
    poster.join();
    EXPECT_TRUE(Readable(fd, 5000)) << "a post from another thread wakes the watcher";
    main->RunOnce(false, true);
    EXPECT_EQ(ran.load(), 1);
    EXPECT_FALSE(Readable(fd)) << "the pass consumed the wake-up";
}

TEST(HYThreadWaitDescriptor, SocketDataWakesItAndHandlersComingAndGoingAreFollowed) {
    HYThread* main = HYThread::Current();
    int fd = main->WaitDescriptor();
    ASSERT_GE(fd, 0);
    kaltest::SocketPair early, late;
    ASSERT_TRUE(early.Valid() && late.Valid());

    Reader reader(early.fds[0]);
    ASSERT_EQ(reader.Attach(), 0);
    EXPECT_EQ(main->WaitDescriptor(), fd) << "asking again takes the new handler in";
    Drain(main);
    EXPECT_FALSE(Readable(fd));
    ASSERT_TRUE(early.Send());
    EXPECT_TRUE(Readable(fd, 5000)) << "data on a handler's socket wakes the watcher";
    main->RunOnce(false, true);
    EXPECT_EQ(reader.reads, 1);
    EXPECT_FALSE(Readable(fd));

    // A handler attached by an event inside a pass, its socket already holding data: it is
    // watched once that pass ends, without another call to WaitDescriptor.
    ASSERT_TRUE(late.Send());
    std::unique_ptr<Reader> joiner;
    CallbackEvent attach(
        [&] {
            joiner = std::make_unique<Reader>(late.fds[0]);
            joiner->Attach();
        },
        "attach", __FILE__, __LINE__);
    main->Events()->Post(&attach);
    main->RunOnce(false, true);
    ASSERT_NE(joiner, nullptr);
    EXPECT_EQ(joiner->reads, 0) << "joined after the wait of that pass";
    EXPECT_TRUE(Readable(fd)) << "the joined handler's data wakes the watcher";
    main->RunOnce(false, true);
    EXPECT_EQ(joiner->reads, 1);

    // A handler detached inside a pass no longer wakes the watcher, though its data waits.
    CallbackEvent detach([&] { joiner->Detach(); }, "detach", __FILE__, __LINE__);
    main->Events()->Post(&detach);
    main->RunOnce(false, true);
    ASSERT_TRUE(late.Send());
    EXPECT_FALSE(Readable(fd, 50)) << "a detached handler is not watched";
    EXPECT_FALSE(joiner->IsAttached());
    reader.Detach();
}

TEST(HYThreadWaitDescriptor, OnlyTheOwningThreadGetsIt) {
    auto worker = std::make_shared<HYThread>("Worker", nullptr, nullptr, nullptr);
    ASSERT_EQ(worker->Start(true, false), 0);
    EXPECT_EQ(worker->WaitDescriptor(), -1) << "the worker's objects belong to the worker";
    EXPECT_EQ(worker->NextTimeoutMs(), -1);
    worker->Stop(true);
    EXPECT_GE(HYThread::Current()->WaitDescriptor(), 0);
}

class Idle : public HYTimer {
public:
    void OnTimer() override { ++fired; }
    int fired = 0;
};

TEST(HYThreadWaitDescriptor, NextTimeoutFollowsTheNextTimer) {
    hytest::ManualClock clock;
    HYThread* main = HYThread::Current();
    Drain(main);
    EXPECT_EQ(main->NextTimeoutMs(), -1) << "no timer";
    Idle timer;
    ASSERT_EQ(timer.StartTimer(700), 0);
    int first = main->NextTimeoutMs();
    // The wheel counts in 7 ms slots: the timer is due at the slot holding its expiry.
    EXPECT_GE(first, 693);
    EXPECT_LE(first, 707);
    clock.Advance(300);
    EXPECT_EQ(main->NextTimeoutMs(), first - 300);
    clock.Advance(2000);
    EXPECT_EQ(main->NextTimeoutMs(), 0) << "overdue";
    main->RunOnce(false, true);
    EXPECT_EQ(timer.fired, 1);
    EXPECT_EQ(main->NextTimeoutMs(), -1) << "the one-shot timer is done";
}

}  // namespace

namespace {

TEST(EpollMirror, ADescriptorNumberReusedByANewSocketIsWatchedAgain) {
    EpollMirror mirror;
    ASSERT_GE(mirror.Descriptor(), 0);
    auto first = std::make_unique<kaltest::SocketPair>();
    int number = first->fds[0];
    ASSERT_TRUE(mirror.Sync({pollfd{number, POLLIN, 0}, pollfd{-1, POLLIN, 0}}));
    ASSERT_TRUE(first->Send());
    EXPECT_TRUE(Readable(mirror.Descriptor(), 5000));
    // Closing the socket takes it out of the epoll set; the next socket gets the same number.
    first.reset();
    EXPECT_FALSE(Readable(mirror.Descriptor()));
    kaltest::SocketPair second;
    ASSERT_EQ(second.fds[0], number) << "the lowest free number is reused";
    ASSERT_TRUE(mirror.Sync({pollfd{number, POLLIN, 0}}));
    ASSERT_TRUE(second.Send());
    EXPECT_TRUE(Readable(mirror.Descriptor(), 5000)) << "the same number, a new file: watched";
    // Dropped from the set: no longer watched, though data is there.
    ASSERT_TRUE(mirror.Sync({}));
    EXPECT_FALSE(Readable(mirror.Descriptor()));
}

}  // namespace
