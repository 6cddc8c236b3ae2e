#include "OsThread.h"

#include <gtest/gtest.h>

#include <atomic>

#include "OsSync.h"

namespace {

struct Shared {
    HY_OS::Semaphore done;
    std::atomic<uint32_t> id{0};
};

TEST(OsThread, RunsTheRoutineAndJoins) {
    Shared shared;
    uint64_t handle = 0;
    uint32_t id = HY_OS::CreateThread(
        [](void* raw) -> unsigned {
            auto* s = static_cast<Shared*>(raw);
            s->id = HY_OS::CurrentThreadId();
            s->done.Release();
            return 0;
        },
        &shared, 4096, HY_OS::TP_BelowNormal, &handle);
    ASSERT_NE(id, 0u);
    shared.done.Wait();
    ASSERT_TRUE(HY_OS::JoinThread(handle));
    EXPECT_NE(shared.id.load(), 0u);
    EXPECT_NE(shared.id.load(), HY_OS::CurrentThreadId());
}

std::atomic<int> g_cleanups{0};

TEST(OsThread, TlsCleanupRunsOnTheEndingThread) {
    static HY_OS::TlsKey key = HY_OS::TlsAlloc([](void* value) {
        delete static_cast<int*>(value);
        ++g_cleanups;
    });
    ASSERT_NE(key, HY_OS::kInvalidTlsKey);
    uint64_t handle = 0;
    HY_OS::CreateThread(
        [](void*) -> unsigned {
            HY_OS::TlsSet(key, new int(7));
            return *static_cast<int*>(HY_OS::TlsGet(key)) == 7 ? 0 : 1;
        },
        nullptr, 0, 0, &handle);
    ASSERT_TRUE(HY_OS::JoinThread(handle));
    EXPECT_EQ(g_cleanups.load(), 1);
    EXPECT_EQ(HY_OS::TlsGet(key), nullptr) << "the main thread has its own slot";
}

TEST(OsSync, SemaphoreCountsAndTimesOut) {
    HY_OS::Semaphore sem(1);
    sem.Wait();
    EXPECT_FALSE(sem.WaitMs(10));
    sem.Release(2);
    EXPECT_TRUE(sem.WaitMs(0));
    EXPECT_TRUE(sem.WaitMs(0));
    EXPECT_FALSE(sem.WaitMs(0));
}

TEST(OsSync, WakeEventIsAutoReset) {
    HY_OS::WakeEvent event;
    ASSERT_TRUE(event.IsValid());
    EXPECT_FALSE(event.Reset());
    event.Set();
    event.Set();
    EXPECT_TRUE(event.Reset());
    EXPECT_FALSE(event.Reset());
}

}  // namespace
