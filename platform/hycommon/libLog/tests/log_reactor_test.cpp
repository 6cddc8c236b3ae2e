#include "LogRegistry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "HYLogFileReactor.h"
#include "HYLogNBReactor.h"
#include "LauncherLog.h"
#include "LogMessage.h"
#include "log_test_support.h"

namespace {

using logtest::CaptureReactor;
using logtest::ReadLines;
using logtest::TempDir;

class RegistryTest : public ::testing::Test {
protected:
    void TearDown() override { LogRegistry::Instance().ShutdownAll(); }
};

TEST_F(RegistryTest, ANinthReactorIsRefusedAndStopped) {
    LogRegistry& registry = LogRegistry::Instance();
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(registry.RegisterReactor(std::make_shared<CaptureReactor>("R" + std::to_string(i))), 0);
    }
    auto ninth = std::make_shared<CaptureReactor>("NINTH");
    EXPECT_EQ(registry.RegisterReactor(ninth), 1);
    EXPECT_EQ(ninth->State(), LRS_Stopped);
    EXPECT_EQ(registry.ReactorCount(), 8);
    EXPECT_EQ(registry.UnregisterReactor("R3"), 0);
    EXPECT_EQ(registry.UnregisterReactor("R3"), 1);
    EXPECT_EQ(registry.FindReactor("R3"), nullptr);
    EXPECT_NE(registry.FindReactor("R4"), nullptr);
    EXPECT_EQ(registry.SetReactorOption("nobody", 2), 1);
}

TEST_F(RegistryTest, FiltersSetTheThresholdAndTheGlobalLevel) {
    auto capture = std::make_shared<CaptureReactor>("CAPTURE", LL_Warning);
    ASSERT_EQ(LogRegistry::Instance().RegisterReactor(capture), 0);
    EXPECT_EQ(HYLog::GetGlobalLevel(), LL_Warning);
    ASSERT_TRUE(capture->AddFilter("PLAT_", LL_DebugHigh, true));
    EXPECT_EQ(HYLog::GetGlobalLevel(), LL_DebugHigh);
    HY_LOG(LL_DebugHigh, "PLAT_NET", "T::F", "prefix match");
    HY_LOG(LL_DebugHigh, "CORE", "T::F", "filtered by the default level");
    HY_LOG(LL_Warning, "CORE", "T::F", "passes the default level");
    EXPECT_EQ(capture->Texts(), (std::vector<std::string>{"prefix match", "passes the default level"}));
    LogReactorStatistics stats = capture->Statistics();
    EXPECT_EQ(stats.offered, 3u);
    EXPECT_EQ(stats.filtered, 1u);
    EXPECT_EQ(stats.written, 2u);

    // Content records bypass the level filters.
    LogMessage("CORE", LT_Content, LL_Trace, 0, 0, 1, "T::F", "x.cpp", "content");
    EXPECT_EQ(capture->Texts().back(), "content");
}

// A queued reactor whose writer can be held, to fill its queue.
class GatedReactor : public HYLogNBReactor {
public:
    GatedReactor(uint32_t capacity) : HYLogNBReactor("GATED", LL_All, capacity) {}
    int Write(const LogRecord&) override {
        while (!open.load()) std::this_thread::yield();
        ++written;
        return 0;
    }
    std::atomic<bool> open{false};
    std::atomic<int> written{0};
};

TEST_F(RegistryTest, AFullQueueCountsTheRecordAsFailed) {
    auto gated = std::make_shared<GatedReactor>(10);
    ASSERT_EQ(LogRegistry::Instance().RegisterReactor(gated), 0);
    for (int i = 0; i < 30; ++i) HY_LOG(LL_Status, "TEST", "T::F", "record %d", i);
    LogReactorStatistics stats = gated->Statistics();
    EXPECT_EQ(stats.offered, 30u);
    // The writer holds at most one batch taken off the queue (up to ten records) while the queue
    // holds ten more: at least nine of the thirty are refused, and counted.
    EXPECT_GE(stats.failed, 9u);
    EXPECT_LE(stats.failed, 20u);
    gated->open = true;
    LogRegistry::Instance().ShutdownAll();
    EXPECT_EQ(static_cast<uint64_t>(gated->written.load()) + stats.failed, 30u);
}

TEST_F(RegistryTest, AQueueOfTenHoldsExactlyTenRecords) {
    auto gated = std::make_shared<GatedReactor>(10);
    ASSERT_EQ(LogRegistry::Instance().RegisterReactor(gated), 0);
    HY_LOG(LL_Status, "TEST", "T::F", "taken by the writer, which then waits");
    for (int i = 0; i < 1000 && gated->Statistics().offered == 1 && gated->QueuedCount() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(gated->QueuedCount(), 0u) << "the writer never took the first record";
    for (int i = 0; i < 30; ++i) HY_LOG(LL_Status, "TEST", "T::F", "record %d", i);
    EXPECT_EQ(gated->QueuedCount(), 10u);
    EXPECT_EQ(gated->Statistics().failed, 20u);
    gated->open = true;
    LogRegistry::Instance().ShutdownAll();
    EXPECT_EQ(gated->written.load(), 11);
}

// A queued reactor that keeps the texts it writes, in order.
class KeepingReactor : public HYLogNBReactor {
public:
    explicit KeepingReactor(uint32_t capacity) : HYLogNBReactor("KEEPING", LL_All, capacity) {}
    int Write(const LogRecord& record) override {
        texts.emplace_back(record.text);
        return 0;
    }
    std::vector<std::string> texts;  // the reactor's thread only, read after it stopped
};

// Several threads through a queue much smaller than what they log, so that its slots are
// reused many times while the threads race for them: every record is either written or
// counted as refused, and each thread's records are written in the order it logged them.
TEST_F(RegistryTest, AQueueReusedManyTimesKeepsEachThreadsOrder) {
    constexpr uint32_t kCapacity = 16;
    auto keeping = std::make_shared<KeepingReactor>(kCapacity);
    ASSERT_EQ(LogRegistry::Instance().RegisterReactor(keeping), 0);
    constexpr int kThreads = 4, kEach = 5000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &keeping] {
            for (int i = 0; i < kEach; ++i) {
                // Now and then a thread waits for room, so that no thread's records can all be
                // refused while the others keep the queue full (a refused call is quick).
                if (i % 64 == 0) {
                    while (keeping->QueuedCount() >= kCapacity) std::this_thread::yield();
                }
                HY_LOG(i % 1000 == 999 ? LL_Error : LL_Status, "TEST", "T::F", "%d %d", t, i);
            }
        });
    }
    for (auto& th : threads) th.join();
    LogRegistry::Instance().ShutdownAll();
    LogReactorStatistics stats = keeping->Statistics();
    EXPECT_EQ(stats.offered, static_cast<uint64_t>(kThreads * kEach));
    EXPECT_EQ(stats.written + stats.failed, stats.offered);
    EXPECT_EQ(keeping->texts.size(), stats.written);
    EXPECT_GT(stats.written, 10u * 16u) << "each slot was reused at least ten times";
    int last[kThreads] = {-1, -1, -1, -1};
    for (const std::string& text : keeping->texts) {
        int t = -1, i = -1;
        ASSERT_EQ(std::sscanf(text.c_str(), "%d %d", &t, &i), 2) << text;
        ASSERT_TRUE(t >= 0 && t < kThreads) << text;
        EXPECT_GT(i, last[t]) << "thread " << t << " out of order";
        last[t] = i;
    }
    for (int t = 0; t < kThreads; ++t) EXPECT_GE(last[t], 0) << "nothing of thread " << t;
}

TEST_F(RegistryTest, ManyThreadsLoseNoRecordWhileTheQueueHasRoom) {
    TempDir dir;
    auto reactor = std::make_shared<HYLogFileReactor>(
        "DISK_FILE", LL_All, 20000, std::make_unique<HYLogFileIoA>(dir.Path("many.txt"), true, -1));
    ASSERT_EQ(LogRegistry::Instance().RegisterReactor(reactor), 0);
    LogRegistry::Instance().SetReactorOption("DISK_FILE", 0);
    constexpr int kThreads = 4, kEach = 2500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kEach; ++i) HY_LOG(LL_Status, "TEST", "T::F", "%d:%d", t, i);
        });
    }
    for (auto& th : threads) th.join();
    LogRegistry::Instance().ShutdownAll();
    EXPECT_EQ(reactor->Statistics().failed, 0u);
    std::set<std::string> seen;
    for (const auto& line : ReadLines(dir.Path("many.txt")))
        if (!line.empty()) seen.insert(line);
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kEach));
}

// Logging threads read the registered reactors without a lock. Reactors that come and go
// while threads log, error records among them (whose callers wait until the record is written),
// must neither be used after they are gone nor leave a caller waiting for a stopped one.
TEST_F(RegistryTest, ReactorsComeAndGoWhileThreadsLog) {
    TempDir dir;
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> calls{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; !stop.load(); ++i) {
                HY_LOG(i % 50 == 0 ? LL_Error : LL_Status, "TEST", "T::F", "%d:%d", t, i);
                calls.fetch_add(1);
            }
        });
    }
    LogRegistry& registry = LogRegistry::Instance();
    for (int round = 0; round < 15; ++round) {
        auto reactor = std::make_shared<HYLogFileReactor>(
            "DISK_FILE", LL_All, 200,
            std::make_unique<HYLogFileIoA>(dir.Path("round" + std::to_string(round) + ".txt"), true, -1));
        ASSERT_EQ(registry.RegisterReactor(reactor), 0);
        uint64_t before = calls.load();
        while (calls.load() < before + 20) std::this_thread::yield();
        ASSERT_EQ(registry.UnregisterReactor("DISK_FILE"), 0);
        // The reactor is stopped and no longer offered anything.
        uint64_t offered = reactor->Statistics().offered;
        before = calls.load();
        while (calls.load() < before + 20) std::this_thread::yield();
        EXPECT_EQ(reactor->Statistics().offered, offered) << "round " << round;
    }
    stop = true;
    for (auto& th : threads) th.join();
}

// The reactor's thread sleeps until a record finds it waiting and wakes it: a record logged
// while it sleeps must be written without any later record or a stop to push it along.
TEST_F(RegistryTest, ARecordWakesTheSleepingReactor) {
    TempDir dir;
    auto reactor = std::make_shared<HYLogFileReactor>(
        "DISK_FILE", LL_All, 100, std::make_unique<HYLogFileIoA>(dir.Path("wake.txt"), true, -1));
    ASSERT_EQ(LogRegistry::Instance().RegisterReactor(reactor), 0);
    auto waitFor = [&](auto done) {
        for (int i = 0; i < 10000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return done();
    };
    for (int round = 1; round <= 3; ++round) {
        ASSERT_TRUE(waitFor([&] { return reactor->IsIdle(); })) << "the thread never went to sleep";
        HY_LOG(LL_Status, "TEST", "T::F", "round %d", round);
        EXPECT_TRUE(waitFor([&] { return reactor->Statistics().written == static_cast<uint64_t>(round); }))
            << "round " << round << " was left in the queue";
    }
    LogRegistry::Instance().ShutdownAll();
    EXPECT_EQ(reactor->Statistics().failed, 0u);
}

TEST_F(RegistryTest, ErrorRecordIsOnDiskWhenTheCallReturns) {
    TempDir dir;
    ASSERT_EQ(HYLog::StartLauncherLog(dir.Path("LarkLauncher.Log.txt")), 0);
    for (int i = 0; i < 20; ++i) {
        HY_LOG(LL_Status, "TEST", "T::F", "status %d", i);
        HY_LOG(LL_Error, "TEST", "T::F", "error %d", i);
        auto lines = ReadLines(dir.Path("LarkLauncher.Log.txt"));
        ASSERT_FALSE(lines.empty());
        EXPECT_NE(lines.back().find("error " + std::to_string(i)), std::string::npos);
    }
}

TEST_F(RegistryTest, AnUnopenableFileLeavesTheReactorFailedAndRecordsFailed) {
    auto reactor = std::make_shared<HYLogFileReactor>(
        "DISK_FILE", LL_All, 100,
        std::make_unique<HYLogFileIoA>("/nonexistent-dir/for/sure/log.txt", true, 50000));
    ASSERT_EQ(LogRegistry::Instance().RegisterReactor(reactor), 0);
    EXPECT_EQ(reactor->State(), LRS_Failed);
    HY_LOG(LL_Status, "TEST", "T::F", "lost");
    HY_LOG(LL_Error, "TEST", "T::F", "lost too, without waiting forever");
    EXPECT_EQ(reactor->Statistics().failed, 2u);
}

}  // namespace
