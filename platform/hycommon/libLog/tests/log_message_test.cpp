#include "LogMessage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LogRecord.h"
#include "LogRegistry.h"
#include "log_test_support.h"

namespace {

using logtest::CaptureReactor;

class LogMessageTest : public ::testing::Test {
protected:
    void SetUp() override {
        capture = std::make_shared<CaptureReactor>("CAPTURE", LL_Status);
        ASSERT_EQ(LogRegistry::Instance().RegisterReactor(capture), 0);
        HYLog::SetFolding(true, 1000, 300);
    }
    void TearDown() override { LogRegistry::Instance().ShutdownAll(); }
    std::shared_ptr<CaptureReactor> capture;
};

int g_evaluations = 0;
int Evaluate() { return ++g_evaluations; }

TEST_F(LogMessageTest, GlobalLevelGatesCallsAndSkipsAreCountedWithoutEvaluatingArguments) {
    EXPECT_EQ(HYLog::GetGlobalLevel(), LL_Status);
    HYLog::ResetLogStatistics();
    g_evaluations = 0;
    HY_LOG(LL_Status, "TEST", "T::Equal", "equal %d", Evaluate());
    HY_LOG(LL_Status - 1, "TEST", "T::Below", "below %d", Evaluate());
    EXPECT_EQ(g_evaluations, 1);
    ASSERT_EQ(capture->Texts(), std::vector<std::string>{"equal 1"});
    HYLog::LogStatistics stats = HYLog::GetLogStatistics();
    EXPECT_EQ(stats.calls, 2u);
    EXPECT_EQ(stats.skipped, 1u);
    EXPECT_EQ(stats.dispatched, 1u);

    LogRegistry::Instance().ShutdownAll();
    EXPECT_EQ(HYLog::GetGlobalLevel(), LL_None);
    EXPECT_EQ(LogMessage("TEST", LT_Application, LL_Abort, 0, 0, 1, "f", "f.cpp", "x"), 1)
        << "no reactor registered";
}

TEST_F(LogMessageTest, RecordCarriesItsFields) {
    HY_LOG_AT(80, LL_Error, "A_CATEGORY_OF_TWENTY", "Cls::Fn", "value %s", "v");
    auto records = capture->Records();
    ASSERT_EQ(records.size(), 1u);
    const LogRecord& r = records[0];
    EXPECT_STREQ(r.category, "A_CATEGORY_OF_T") << "a category keeps its first 15 characters";
    EXPECT_EQ(r.category[15], '\0');
    EXPECT_STREQ(r.file, "log_message_test.cpp");
    EXPECT_STREQ(r.function, "Cls::Fn");
    EXPECT_EQ(r.line, 80);
    EXPECT_EQ(r.level, LL_Error);
    EXPECT_EQ(r.repeatCount, 1);
    EXPECT_EQ(r.textLength, std::strlen("value v") + 1);
    EXPECT_EQ(r.formatHash, HYLog::FormatHash("value %s"));
    EXPECT_EQ(r.kindFlags, kLogRecordMessage);
}

TEST_F(LogMessageTest, OverlongTextIsCutAt1023Characters) {
    std::string big(1500, 'x');
    HY_LOG(LL_Status, "TEST", "T::Big", "%s", big.c_str());
    auto records = capture->Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(std::strlen(records[0].text), 1023u);
    EXPECT_EQ(records[0].textLength, 0);
}

void LogFromOneSite(int i) { HY_LOG(LL_Status, "TEST", "T::Repeat", "same %d", i); }

TEST_F(LogMessageTest, RepeatsFoldIntoOneLineAndAtMostOneLinePer300) {
    HYLog::ResetLogStatistics();
    for (int i = 0; i < 301; ++i) LogFromOneSite(0);  // the first, then 300 repeats
    for (int i = 0; i < 5; ++i) LogFromOneSite(0);    // 5 more repeats, pending
    LogFromOneSite(1);                                // a different text ends the run
    auto records = capture->Records();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].repeatCount, 1);
    EXPECT_EQ(records[1].repeatCount, 300);
    EXPECT_EQ(records[2].repeatCount, 5);
    EXPECT_STREQ(records[2].text, "same 0");
    EXPECT_STREQ(records[3].text, "same 1");
    EXPECT_EQ(HYLog::GetLogStatistics().folded, 299u + 5u);
    // The record sent again for the pending repeats is the last repeat, whole.
    EXPECT_STREQ(records[2].function, "T::Repeat");
    EXPECT_STREQ(records[2].file, "log_message_test.cpp");
    EXPECT_STREQ(records[2].category, "TEST");
    EXPECT_EQ(records[2].line, records[0].line);
    EXPECT_EQ(records[2].textLength, std::strlen("same 0") + 1);
    EXPECT_EQ(records[2].formatHash, HYLog::FormatHash("same %d"));
    EXPECT_GT(records[2].sequence, records[1].sequence);
    EXPECT_LT(records[2].sequence, records[3].sequence);
}

// A reactor that keeps the thread and application names of the records it is given.
class NameReactor : public LogReactor {
public:
    NameReactor() : LogReactor("NAMES", LL_All) {}
    int Write(const LogRecord& record) override {
        threads.push_back(record.info ? record.info->threadName : "(none)");
        applications.push_back(record.info ? record.info->applicationName : "(none)");
        return 0;
    }
    std::vector<std::string> threads;
    std::vector<std::string> applications;
};

// Before the test that names more threads than are kept, for builds that run every case in one
// process.
TEST(LogThreadNames, AThreadNobodyNamedLeavesNothingBehindWhenItEnds) {
    auto names = std::make_shared<NameReactor>();
    ASSERT_EQ(LogRegistry::Instance().RegisterReactor(names), 0);
    const size_t before = HYLog::LastingThreadInfoCount();
    // Each thread is known by its own id, which no later thread has: keeping its information
    // would grow the process by one entry per thread ever started.
    for (int i = 0; i < 50; ++i)
        std::thread([] { HY_LOG(LL_Status, "TEST", "T::Unnamed", "unnamed"); }).join();
    EXPECT_EQ(HYLog::LastingThreadInfoCount(), before);
    // A name is kept once, however many threads carry it.
    for (int i = 0; i < 3; ++i)
        std::thread([] {
            HYLog::SetCurrentThreadName("Thread named for the lasting-information test");
            HY_LOG(LL_Status, "TEST", "T::Named", "named");
        }).join();
    LogRegistry::Instance().ShutdownAll();
    EXPECT_EQ(HYLog::LastingThreadInfoCount(), before + 1);
    ASSERT_EQ(names->threads.size(), 53u);
    EXPECT_FALSE(names->threads[0].empty());
    EXPECT_NE(names->threads[0], names->threads[1]);
    EXPECT_EQ(names->threads[52], "Thread named for the lasting-information test");
}

TEST(LogThreadNames, RecordsCarryTheNameTheirThreadHadWhenTheyWereMade) {
    auto names = std::make_shared<NameReactor>();
    ASSERT_EQ(LogRegistry::Instance().RegisterReactor(names), 0);
    // More distinct names than are kept for the life of the process: the later ones are
    // counted like any shared value, and every record still carries its own.
    std::thread([] {
        for (int i = 0; i < 5000; ++i) {
            std::string name = "worker " + std::to_string(i);
            HYLog::SetCurrentThreadName(name.c_str());
            HY_LOG(LL_Status, "TEST", "T::Named", "from %s", name.c_str());
        }
    }).join();
    HYLog::SetCurrentThreadName("Main");
    HY_LOG(LL_Status, "TEST", "T::Named", "from main");
    LogRegistry::Instance().ShutdownAll();
    ASSERT_EQ(names->threads.size(), 5001u);
    for (int i = 0; i < 5000; i += 499) EXPECT_EQ(names->threads[i], "worker " + std::to_string(i));
    EXPECT_EQ(names->threads[4999], "worker 4999");
    EXPECT_EQ(names->threads[5000], "Main");
    EXPECT_FALSE(names->applications[0].empty());
    EXPECT_EQ(names->applications[4999], names->applications[0]);
}

TEST_F(LogMessageTest, SameTextFromAnotherLineOrWithFoldingOffIsNotFolded) {
    HY_LOG(LL_Status, "TEST", "T::A", "twin");
    HY_LOG(LL_Status, "TEST", "T::B", "twin");
    EXPECT_EQ(capture->Records().size(), 2u);
    HYLog::SetFolding(false, 1000, 300);
    for (int i = 0; i < 3; ++i) LogFromOneSite(7);
    HYLog::SetFolding(true, 1000, 300);
    EXPECT_EQ(capture->Records().size(), 5u);
}

TEST_F(LogMessageTest, CountsOfEndedThreadsStayInTheSumsWhateverStartedThem) {
    // Threads of the C++ library, not the platform layer's: their counters must outlive them in
    // the sums, and reading the sums after they ended must not touch freed memory.
    HYLog::ResetLogStatistics();
    for (int round = 0; round < 3; ++round) {
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([] {
                for (int i = 0; i < 5; ++i) HY_LOG(LL_Status, "TEST", "T::Thread", "line %d", i);
            });
        for (auto& thread : threads) thread.join();
        HY_LOG(LL_Status, "TEST", "T::Main", "round %d", round);
    }
    HYLog::LogStatistics stats = HYLog::GetLogStatistics();
    EXPECT_EQ(stats.calls, 3u * (4u * 5u + 1u));
    EXPECT_EQ(stats.dispatched + stats.folded, stats.calls);
    HYLog::ResetLogStatistics();
    EXPECT_EQ(HYLog::GetLogStatistics().calls, 0u);
}

TEST(LogFormatHash, KnownValues) {
    EXPECT_EQ(HYLog::FormatHash("abc"), 193485963u);
    EXPECT_EQ(HYLog::FormatHash("Timer object already deleted."), 986273636u);
    EXPECT_EQ(HYLog::FormatHash(""), 0u);
    EXPECT_EQ(HYLog::FormatHash(nullptr), 0u);
    // Bytes above 127 count as negative.
    EXPECT_EQ(HYLog::FormatHash("\xE9"), (5381u * 33u + static_cast<uint32_t>(-23)) & 0x7FFFFFFFu);
}

TEST(LogFormatHash, EqualsTheByteByByteDefinitionForEveryLength) {
    // Formats of every length around the eight-byte steps, with bytes of both signs.
    std::string format;
    for (int length = 1; length <= 40; ++length) {
        format.push_back(static_cast<char>(length % 3 == 0 ? 0x80 + length * 3 : 'a' + length % 26));
        uint32_t expected = 5381;
        for (char c : format)
            expected = expected * 33u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
        EXPECT_EQ(HYLog::FormatHash(format.c_str()), expected & 0x7FFFFFFFu) << "length " << length;
    }
}

TEST(LogTypes, NamesAndTags) {
    EXPECT_STREQ(HYLog::LevelTag(LL_Warning), "WARN");
    EXPECT_STREQ(HYLog::LevelTag(LL_Abort), "ABOR");
    EXPECT_STREQ(HYLog::LevelTag(77), "????");
    EXPECT_EQ(HYLog::LevelName(77), nullptr);
    EXPECT_EQ(HYLog::LevelFromName(HYLog::LevelName(LL_DebugMed)), LL_DebugMed);
    EXPECT_EQ(HYLog::LevelFromName("nonsense"), -1);
    EXPECT_EQ(HYLog::TypeFromName(HYLog::TypeName(LT_Content)), LT_Content);
}

}  // namespace
