#include "HYLogFileIoA.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

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

// The lines as the printf formats of the log file make them, for comparison with the writer's.
std::string PrintfLine(int format, const LogRecord& r) {
    std::vector<char> line(8192);
    const char* tag = HYLog::LevelTag(r.level);
    std::string when = DateTime(r.seconds);
    int n = 0;
    switch (format) {
        case 1:
            n = std::snprintf(line.data(), 2048, "%s [%s] %-15s ", when.c_str(), tag, r.category);
            break;
        case 2:
            n = std::snprintf(line.data(), 2048, "%s [%s] %-15s %-20s %04u [%llu] ", when.c_str(), tag,
                              r.category, r.file, static_cast<unsigned>(r.line),
                              static_cast<unsigned long long>(r.ObjectId()));
            break;
        case 3:
            n = std::snprintf(line.data(), 2048, "%s %-30s %-75s %6u [%s] %-15s ", when.c_str(), "Local",
                              r.info ? r.info->applicationName.c_str() : "", r.processId, tag, r.category);
            break;
        default: break;
    }
    size_t used = std::min<size_t>(static_cast<size_t>(n), 2047);
    std::string text(line.data(), used);
    char more[64];
    if (r.level == LL_Error || r.level == LL_Critical) {
        std::snprintf(more, sizeof more, "%10u ", r.formatHash);
        text += more;
    }
    text += r.text;
    if (r.repeatCount > 1) {
        std::snprintf(more, sizeof more, "| (x%d)", r.repeatCount);
        text += more;
    }
    return text + "\n";
}

}  // namespace

// The writer builds its lines by hand; they must be byte for byte the printf formats' lines, at
// the widths' edges and beyond them, and cut where printf's 2048-byte prefix is cut.
TEST(LogFileFormat, LinesMatchThePrintfFormatsAtTheEdges) {
    const int64_t when = 1741943107;
    LogRecord r = MakeRecord(LL_Status, "", "", 0, "f", "", when);
    HYLogFileIoA writer;
    struct Case {
        uint8_t level;
        const char* category;
        std::string file;
        uint16_t line;
        uint64_t objectId;
        uint32_t processId;
        std::string text;
        uint16_t repeats;
        std::string application;
    };
    const Case cases[] = {
        {LL_Status, "", "", 0, 0, 0, "", 1, ""},
        {LL_Error, "CORE_DATALAYER1", "exactly_twenty_chars", 7, 1, 1, "x", 2, "LarkLauncher"},
        {LL_Critical, "A", std::string(63, 'f'), 65535, ~uint64_t{0}, 4294967295u, std::string(1023, 't'),
         65535, std::string(100, 'a')},
        {77, "PLAT_NET", "a.cpp", 123, uint64_t{1} << 40, 123456, "unknown level", 300,
         std::string(3000, 'b')},
        {LL_Abort, "ABC", "b.cpp", 10000, 42, 999999, "abort", 1, std::string(75, 'c')},
    };
    for (const Case& c : cases) {
        r.level = c.level;
        SetCategory(r.category, c.category);
        std::snprintf(r.file, sizeof r.file, "%s", c.file.c_str());
        r.line = c.line;
        r.objectIdLow = static_cast<uint32_t>(c.objectId);
        r.objectIdHigh = static_cast<uint32_t>(c.objectId >> 32);
        r.processId = c.processId;
        std::snprintf(r.text, sizeof r.text, "%s", c.text.c_str());
        r.repeatCount = c.repeats;
        r.info = std::make_shared<HYLogInfo>(HYLogInfo{c.application, "T"});
        for (int format : {1, 2, 3}) {
            writer.SetPrefixFormat(format);
            EXPECT_EQ(writer.FormatLine(r), PrintfLine(format, r))
                << "format " << format << ", category '" << c.category << "', file " << c.file.size()
                << " chars, application " << c.application.size() << " chars";
        }
    }
}

namespace {

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
        if (name != "size.txt" && name.rfind("size.", 0) == 0) movedAside.push_back(entry.path().string());
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
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        ++files;
        for (const auto& line : ReadLines(entry.path().string())) listing += line;
    }
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
