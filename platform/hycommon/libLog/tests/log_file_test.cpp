#include "HYLogFileIoA.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "HYLogFileReactor.h"
#include "LauncherLog.h"
#include "LogMessage.h"
#include "LogRegistry.h"
#include "OsFile.h"
#include "OsTime.h"
#include "log_test_support.h"

namespace {

using logtest::AfterTimestamp;
using logtest::ReadLines;
using logtest::TempDir;

LogRecord MakeRecord(uint8_t level, const char* category, const char* file, uint16_t line,
                     const char* format, const char* text, int64_t seconds) {
    LogRecord r;
    r.level = level;
    SetCategory(r.category, category);
    std::strcpy(r.file, file);
    r.line = line;
    r.formatHash = HYLog::FormatHash(format);
    std::strcpy(r.text, text);
    r.seconds = seconds;
    return r;
}

std::string DateTime(int64_t seconds) {
    HY_OS::LocalTime t{};
    HY_OS::ToLocalTime(seconds, t);
    char text[32];
    std::snprintf(text, sizeof text, "%02u/%02u/%02u %02u:%02u:%02u", t.month, t.day,
                  t.year % 100, t.hour, t.minute, t.second);
    return text;
}

TEST(LogFileFormat, TheFourPrefixFormats) {
    const int64_t when = 1741943107;  // a fixed moment; its local text is computed the same way
    LogRecord r = MakeRecord(LL_Error, "PLAT_Timer", "TimerWheelBaseNode.cpp", 80,
                             "Timer object already deleted.", "Timer object already deleted.",
                             when);
    HYLogFileIoA writer;
    writer.SetPrefixFormat(2);
    EXPECT_EQ(writer.FormatLine(r),
              DateTime(when) + " [ERRO] PLAT_Timer      TimerWheelBaseNode.cpp 0080 [0]  986273636 "
                               "Timer object already deleted.\n");

    writer.SetPrefixFormat(1);
    EXPECT_EQ(writer.FormatLine(r),
              DateTime(when) + " [ERRO] PLAT_Timer       986273636 Timer object already deleted.\n");

    writer.SetPrefixFormat(0);
    r.level = LL_Critical;
    r.repeatCount = 7;
    EXPECT_EQ(writer.FormatLine(r), " 986273636 Timer object already deleted.| (x7)\n");
    r.level = LL_Abort;
    EXPECT_EQ(writer.FormatLine(r), "Timer object already deleted.| (x7)\n") << "no hash column";

    writer.SetPrefixFormat(3);
    r.level = LL_Warning;
    r.repeatCount = 1;
    r.processId = 4321;
    auto info = std::make_shared<HYLogInfo>(HYLogInfo{"LarkLauncher", "Main"});
    r.info = info;
    char expected[512];
    std::snprintf(expected, sizeof expected, "%s %-30s %-75s %6u [WARN] %-15s %s\n",
                  DateTime(when).c_str(), "Local", "LarkLauncher", 4321u, "PLAT_Timer",
                  "Timer object already deleted.");
    EXPECT_EQ(writer.FormatLine(r), expected);

    writer.SetPrefixFormat(4);
    EXPECT_EQ(writer.FormatLine(r), "") << "an unknown format writes nothing";
}

class LauncherLogTest : public ::testing::Test {
protected:
    void SetUp() override { HYLog::SetFolding(true, 1000, 300); }
    void TearDown() override { HYLog::StopLogging(); }
    TempDir dir;
};

TEST_F(LauncherLogTest, TheRealFileHoldsExactLinesAndTheFoldLine) {
    std::string path = dir.Path("LarkLauncher.Log.txt");
    ASSERT_EQ(HYLog::StartLauncherLog(path), 0);
    HY_LOG_AT(80, LL_Error, "PLAT_Timer", "TimerWheelBaseNode::Expire",
              "Timer object already deleted.");
    for (int i = 0; i < 301; ++i) {
        HY_LOG_AT(12, LL_Warning, "PLAT_NET", "T::Repeat", "again and again");
    }
    HYLog::StopLogging();
    auto lines = ReadLines(path);
    ASSERT_EQ(lines.size(), 4u) << "three records and the closing newline";
    EXPECT_EQ(AfterTimestamp(lines[0]),
              "[ERRO] PLAT_Timer      log_file_test.cpp    0080 [0]  986273636 "
              "Timer object already deleted.");
    EXPECT_EQ(AfterTimestamp(lines[1]),
              "[WARN] PLAT_NET        log_file_test.cpp    0012 [0] again and again");
    EXPECT_EQ(AfterTimestamp(lines[2]),
              "[WARN] PLAT_NET        log_file_test.cpp    0012 [0] again and again| (x300)");
    EXPECT_EQ(lines[3], "");
}

TEST_F(LauncherLogTest, AFileAtTheLineLimitIsMovedAsideWithATimeSuffix) {
    std::string path = dir.Path("LarkLauncher.Log.txt");
    {
        std::string full;
        for (int i = 0; i < 50000; ++i) full += "old line\n";
        ASSERT_TRUE(HY_OS::WriteFileAtomic(path, full));
    }
    HY_OS::LocalTime before = HY_OS::GetLocalTime();
    ASSERT_EQ(HYLog::StartLauncherLog(path), 0);
    HY_OS::LocalTime after = HY_OS::GetLocalTime();
    HY_LOG(LL_Status, "TEST", "T::F", "fresh");
    HYLog::StopLogging();

    auto aside = [&](const HY_OS::LocalTime& t) {
        char name[64];
        std::snprintf(name, sizeof name, "LarkLauncher.Log.%02u%02u%02u_%02u%02u.txt",
                      t.year % 100, t.month, t.day, t.hour, t.minute);
        return dir.Path(name);
    };
    std::string moved = HY_OS::FileExists(aside(before)) ? aside(before) : aside(after);
    ASSERT_TRUE(HY_OS::FileExists(moved));
    EXPECT_EQ(ReadLines(moved).size(), 50000u);
    auto lines = ReadLines(path);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("fresh"), std::string::npos);
}

TEST_F(LauncherLogTest, RotationDuringTheRunStartsANewFile) {
    std::string path = dir.Path("run.log.txt");
    HYLogFileIoA writer(path, true, 3);
    writer.SetPrefixFormat(0);
    ASSERT_TRUE(writer.Open());
    LogRecord r = MakeRecord(LL_Status, "T", "f.cpp", 1, "x", "line", 0);
    for (int i = 0; i < 4; ++i) ASSERT_EQ(writer.Write(r), 0);
    writer.Close();
    EXPECT_EQ(writer.OpenCount(), 2u);
    EXPECT_EQ(ReadLines(path), (std::vector<std::string>{"line", ""}));
}

TEST_F(LauncherLogTest, ReachingTheSizeLimitRotatesAndSaysSo) {
    std::string path = dir.Path("size.txt");
    auto reactor = std::make_shared<HYLogFileReactor>(
        "DISK_FILE", LL_All, 100, std::make_unique<HYLogFileIoA>(path, true, -1));
    ASSERT_EQ(LogRegistry::Instance().RegisterReactor(reactor), 0);
    HYLog::StopLogging();  // stopped again: set the limit while no thread uses the writer
    reactor->File().SetSizeLimit(200);
    ASSERT_EQ(LogRegistry::Instance().RegisterReactor(reactor), 0);
    HY_LOG(LL_Error, "TEST", "T::F", "%s", std::string(300, 'a').c_str());
    HY_LOG(LL_Error, "TEST", "T::F", "after");
    LogRegistry::Instance().ShutdownAll();
    auto lines = ReadLines(path);
    std::string all;
    for (const auto& l : lines) all += l + "\n";
    EXPECT_NE(all.find("Current log file has reached the maximum size--will create new log file."),
              std::string::npos);
    EXPECT_NE(all.find("after"), std::string::npos);
    EXPECT_EQ(all.find("aaaa"), std::string::npos) << "the long line went to the file moved aside";
    // ... and it is there, in the one file moved aside beside it.
    std::vector<std::string> movedAside;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        std::string name = entry.path().filename().string();
        if (name != "size.txt" && name.rfind("size.", 0) == 0) movedAside.push_back(entry.path());
    }
    ASSERT_EQ(movedAside.size(), 1u);
    std::string moved;
    for (const auto& l : ReadLines(movedAside[0])) moved += l + "\n";
    EXPECT_NE(moved.find(std::string(300, 'a')), std::string::npos) << moved;
}

TEST_F(LauncherLogTest, RotatingTwiceInOneMinuteKeepsBothOldFiles) {
    std::string path = dir.Path("busy.txt");
    HYLogFileIoA writer(path, true, 2);
    writer.SetPrefixFormat(0);
    ASSERT_TRUE(writer.Open());
    for (int i = 0; i < 6; ++i) {
        LogRecord r = MakeRecord(LL_Status, "T", "f.cpp", 1, "x", std::to_string(i).c_str(), 0);
        ASSERT_EQ(writer.Write(r), 0);
    }
    writer.Close();
    // Three files of two lines each moved aside, whatever minute each rotation fell in, and the
    // fresh current one.
    int files = 0;
    std::string listing;
    FILE* p = popen(("ls " + dir.Path()).c_str(), "r");
    char buf[256];
    while (fgets(buf, sizeof buf, p)) {
        ++files;
        for (const auto& line : ReadLines(dir.Path(std::string(buf, strcspn(buf, "\n")))))
            listing += line;
    }
    pclose(p);
    EXPECT_EQ(files, 4);
    std::sort(listing.begin(), listing.end());
    EXPECT_EQ(listing, "012345");
}

TEST_F(LauncherLogTest, TimeNamedFilesKeepTheCurrentFileWithinAMinute) {
    auto timeNamed = HYLogFileIoA::TimeNamed(dir.Path("trace"), "log", -1);
    HYLogFileIoA& writer = *timeNamed;
    ASSERT_TRUE(writer.Open());
    std::string first = writer.Path();
    EXPECT_NE(first.find("trace_"), std::string::npos);
    EXPECT_EQ(first.substr(first.size() - 4), ".log");
    bool reopened = writer.Open();
    if (!reopened) {
        EXPECT_EQ(writer.Path(), first);
        EXPECT_EQ(writer.OpenCount(), 1u);
    }  // else the minute turned between the two calls, which starts a new file by design
    writer.Close();
}

}  // namespace
