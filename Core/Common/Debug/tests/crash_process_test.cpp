// The crash handler in a real process: the victim program dies in each way a launcher thread
// can, and the test examines the dump (through lldb), the report on standard error and in the
// log file, and what was started afterwards.
#include "HYCrashHandler.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <regex>
#include <string>
#include <vector>

#include "TempDir.h"
#include "crash_test_support.h"

using crashtest::ChildResult;

namespace {

ChildResult RunVictim(const std::string& kind, const std::string& directory,
                      std::vector<std::string> options = {}) {
    std::vector<std::string> arguments{kind, directory};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return crashtest::Run(crashtest::VictimPath(), arguments);
}

// The lines of the report channel on standard error, without the "EXCEPT : " in front.
std::vector<std::string> ReportLines(const std::string& err) {
    std::vector<std::string> lines;
    for (const std::string& line : crashtest::Lines(err)) {
        if (line.rfind("EXCEPT : ", 0) == 0) lines.push_back(line.substr(9));
    }
    return lines;
}

int IndexOf(const std::vector<std::string>& lines, const std::string& text, int from = 0) {
    for (int i = from; i < static_cast<int>(lines.size()); ++i)
        if (lines[i] == text) return i;
    return -1;
}

// Checks the report's lines against their formats; answers the number of frame lines of the
// crashed thread's stack.
int ExpectReportFormat(const std::vector<std::string>& lines, const std::string& name) {
    static const std::regex frame("[0-9A-F]{16}  ([0-9A-F]{4}:[0-9A-F]{16}|\\?{4}:\\?{16}) .*");
    const std::string separator(53, '=');
    EXPECT_GE(lines.size(), 12u);
    if (lines.size() < 12) return 0;
    EXPECT_EQ(lines[0], separator);
    EXPECT_TRUE(std::regex_match(lines[1], std::regex("Exception code: [0-9A-F]{8} " + name)))
        << lines[1];
    EXPECT_TRUE(std::regex_match(
        lines[2], std::regex("Fault address:  [0-9A-F]{16} ([0-9A-F]{2}:[0-9A-F]{16}|\\?\\?:\\?{16}) .*")))
        << lines[2];
    EXPECT_EQ(lines[3], "Registers:");
    EXPECT_TRUE(std::regex_match(lines[4], std::regex("RAX:[0-9A-F]{16} RBX:[0-9A-F]{16} RCX:[0-9A-F]{16} "
                                                      "RDX:[0-9A-F]{16} RSI:[0-9A-F]{16} RDI:[0-9A-F]{16}")))
        << lines[4];
    EXPECT_TRUE(std::regex_match(lines[5], std::regex("R8:[0-9A-F]{16} R9:[0-9A-F]{16} R10:[0-9A-F]{16} R11:[0-9A-F]{16}")));
    EXPECT_TRUE(std::regex_match(lines[6], std::regex("R12:[0-9A-F]{16} R13:[0-9A-F]{16} R14:[0-9A-F]{16} R15:[0-9A-F]{16}")));
    EXPECT_TRUE(std::regex_match(lines[7], std::regex("CS:RIP:[0-9A-F]{4}:[0-9A-F]{16}"))) << lines[7];
    EXPECT_TRUE(std::regex_match(lines[8], std::regex("SS:RSP:[0-9A-F]{4}:[0-9A-F]{16}  RBP:[0-9A-F]{16}")))
        << lines[8];
    EXPECT_TRUE(std::regex_match(lines[9], std::regex("DS:[0-9A-F]{4}  ES:[0-9A-F]{4}  FS:[0-9A-F]{4}  GS:[0-9A-F]{4}")))
        << lines[9];
    EXPECT_TRUE(std::regex_match(lines[10], std::regex("Flags:[0-9A-F]{16}"))) << lines[10];
    EXPECT_EQ(lines[11], "Address           Logical addr          Module");
    int end = IndexOf(lines, separator, 12);
    EXPECT_GT(end, 12) << "no frame, or no closing separator";
    for (int i = 12; i < end; ++i) EXPECT_TRUE(std::regex_match(lines[i], frame)) << lines[i];
    // Every other registered thread: its header, its stack, a separator.
    for (int i = end + 1; i < static_cast<int>(lines.size()); ++i) {
        if (lines[i] == separator) continue;
        if (std::regex_match(lines[i], std::regex("Thread [0-9]+ Stack:"))) continue;
        if (lines[i] == "Address           Logical addr          Module") continue;
        EXPECT_TRUE(std::regex_match(lines[i], frame)) << lines[i];
    }
    return end - 12;
}

int CountMatching(const std::vector<std::string>& lines, const std::string& pattern) {
    std::regex re(pattern);
    int n = 0;
    for (const std::string& line : lines) n += std::regex_match(line, re) ? 1 : 0;
    return n;
}

struct CrashKind {
    const char* kind;
    int signal;
    const char* exceptionName;
    const char* function;      // must be in the crashed thread's backtrace in the dump
    const char* signalName;    // lldb's stop reason
};

void PrintTo(const CrashKind& kind, std::ostream* out) { *out << kind.kind; }

class CrashKindTest : public ::testing::TestWithParam<CrashKind> {};

TEST_P(CrashKindTest, LeavesADumpLldbReadsAndAReportInTheLogAndOnStandardError) {
    const CrashKind& c = GetParam();
    hytest::TempDir dir;
    ChildResult run = RunVictim(c.kind, dir.Path());
    ASSERT_FALSE(run.hung) << run.err;
    EXPECT_EQ(run.signal, c.signal) << run.err;

    std::vector<std::string> report = ReportLines(run.err);
    // Unwound by call-frame information: the crashing function, its callers, the thread's start.
    int frames = ExpectReportFormat(report, c.exceptionName);
    EXPECT_GE(frames, 3);

    // The same lines in the log file, as the channel's log lines.
    std::vector<std::string> log = crashtest::Lines(crashtest::ReadFile(dir / "LarkLauncher.Log.txt"));
    EXPECT_EQ(CountMatching(log, "\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d \\[DBGM\\] CORE_SEER       "
                                 "DebugOutput.cpp      0045 \\[0\\] EXCEPT: Exception code: [0-9A-F]{8} " +
                                     std::string(c.exceptionName)),
              1);
    EXPECT_EQ(CountMatching(log, ".*\\[STAT\\] CORE_SEER .* Started writing crash dump file\\.\\.\\."), 1);
    EXPECT_EQ(CountMatching(log, ".*SUCCEEDED writing crash dump file crash_victim_\\.dmp\\."), 1);

    std::vector<std::string> dumps = crashtest::DumpFiles(dir.Path());
    ASSERT_EQ(dumps, std::vector<std::string>{"crash_victim_.dmp"});
    std::string backtrace = crashtest::LldbBacktrace(dir / dumps[0]);
    EXPECT_NE(backtrace.find(std::string("stop reason = signal ") + c.signalName), std::string::npos)
        << backtrace;
    EXPECT_NE(backtrace.find(c.function), std::string::npos) << backtrace;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CrashKindTest,
    ::testing::Values(
        CrashKind{"null", SIGSEGV, "ACCESS_VIOLATION", "CrashByNullWrite", "SIGSEGV"},
        CrashKind{"divide", SIGFPE, "INT_DIVIDE_BY_ZERO", "CrashByDivision", "SIGFPE"},
        CrashKind{"abort", SIGABRT, "SIGABRT", "CrashByAbort", "SIGABRT"},
        CrashKind{"illegal", SIGILL, "ILLEGAL_INSTRUCTION", "CrashByIllegalInstruction", "SIGILL"},
        CrashKind{"overflow", SIGSEGV, "STACK_OVERFLOW", "CrashByStackOverflow", "SIGSEGV"},
        CrashKind{"exception", SIGABRT, "SIGABRT", "CrashByUncaughtException", "SIGABRT"},
        CrashKind{"thread", SIGSEGV, "ACCESS_VIOLATION", "CrashOnWorkerThread", "SIGSEGV"}),
    [](const ::testing::TestParamInfo<CrashKind>& info) { return std::string(info.param.kind); });

TEST(CrashHandlerTest, ReportsEveryOtherRegisteredThreadAndTheUncaughtException) {
    hytest::TempDir dir;
    ChildResult run = RunVictim("thread", dir.Path());
    ASSERT_FALSE(run.hung);
    // Main, the idle thread "Third" and the log file's writer thread were running.
    EXPECT_EQ(CountMatching(ReportLines(run.err), "Thread [0-9]+ Stack:"), 3) << run.err;

    hytest::TempDir other;
    ChildResult thrown = RunVictim("exception", other.Path());
    std::string log = crashtest::ReadFile(other / "LarkLauncher.Log.txt");
    EXPECT_NE(log.find("Uncaught exception St13runtime_error: nobody catches this"), std::string::npos)
        << log;
}

TEST(CrashHandlerTest, TheLogFileKeepsEveryLineWrittenBeforeTheCrash) {
    hytest::TempDir dir;
    ChildResult run = RunVictim("null", dir.Path(), {"--log-lines", "3000"});
    ASSERT_FALSE(run.hung);
    std::vector<std::string> log = crashtest::Lines(crashtest::ReadFile(dir / "LarkLauncher.Log.txt"));
    size_t next = 0;
    int firstReport = -1;
    for (size_t i = 0; i < log.size(); ++i) {
        std::string expected = "line " + std::to_string(next) + " before the crash";
        if (next < 3000 && log[i].find(expected) != std::string::npos) ++next;
        if (firstReport < 0 && log[i].find("EXCEPT: ") != std::string::npos) firstReport = static_cast<int>(i);
    }
    EXPECT_EQ(next, 3000u) << "lines are missing or out of order";
    ASSERT_GE(firstReport, 3000);
}

TEST(CrashHandlerTest, AnswerYesStartsTheReportProgramWithDirectoryAndReportId) {
    hytest::TempDir dir;
    ChildResult run = RunVictim("null", dir.Path(), {"--answer", "yes", "--program",
                                                     crashtest::ReportProgramPath(), "--dump-dir",
                                                     dir.Path(), "--report-id", "RID7"});
    ASSERT_FALSE(run.hung);
    EXPECT_EQ(run.signal, SIGSEGV);
    // The report program inherited the standard output; it was read until the program ended.
    EXPECT_NE(run.out.find("Report 'RID7': would send " + dir.Path() + "/crash_victim_RID7.dmp ("),
              std::string::npos)
        << run.out << run.err;
}

TEST(CrashHandlerTest, AnswerNoOrNobodyToAskStartsNothing) {
    for (std::vector<std::string> answer : {std::vector<std::string>{"--answer", "no"},
                                            std::vector<std::string>{}}) {
        hytest::TempDir dir;
        std::vector<std::string> options{"--program", crashtest::ReportProgramPath(), "--dump-dir",
                                         dir.Path(), "--report-id", "RID8"};
        options.insert(options.end(), answer.begin(), answer.end());
        ChildResult run = RunVictim("null", dir.Path(), options);
        ASSERT_FALSE(run.hung);
        EXPECT_EQ(run.signal, SIGSEGV);
        EXPECT_EQ(run.out.find("Report"), std::string::npos) << run.out;
        EXPECT_EQ(crashtest::DumpFiles(dir.Path()), std::vector<std::string>{"crash_victim_RID8.dmp"});
    }
}

TEST(CrashHandlerTest, ASecondCrashDuringHandlingIsPassedOnAtOnce) {
    hytest::TempDir dir;
    ChildResult run = RunVictim("null", dir.Path(), {"--answer", "crash", "--program",
                                                     crashtest::ReportProgramPath()});
    ASSERT_FALSE(run.hung);
    EXPECT_EQ(run.signal, SIGSEGV);
    // The first crash's report was complete; the second one only ended the process.
    EXPECT_EQ(CountMatching(ReportLines(run.err), "Exception code: .*"), 1) << run.err;
    EXPECT_EQ(run.out.find("Report"), std::string::npos);
}

TEST(CrashHandlerTest, ADumpThatCannotBeCreatedIsLoggedAndTheReportStillWritten) {
    hytest::TempDir dir;
    // A directory that does not exist, and one nobody may create files in (procfs).
    for (const std::string& dumpDir : {dir / "missing", std::string("/proc")}) {
        ChildResult run = RunVictim("null", dir.Path(), {"--dump-dir", dumpDir});
        ASSERT_FALSE(run.hung);
        EXPECT_EQ(run.signal, SIGSEGV);
        std::string log = crashtest::ReadFile(dir / "LarkLauncher.Log.txt");
        EXPECT_NE(log.find("[ERRO] CORE_SEER       CrashDumpFile.cpp"), std::string::npos);
        EXPECT_NE(log.find("FAILED to write crash dump file: could not create the file."), std::string::npos)
            << dumpDir;
        EXPECT_NE(log.find("EXCEPT: Exception code: 0000000B ACCESS_VIOLATION"), std::string::npos);
        EXPECT_TRUE(crashtest::DumpFiles(dumpDir).empty());
    }
}

TEST(CrashHandlerTest, AFullDiskLeavesNoHalfWrittenDump) {
    hytest::TempDir dir;
    ChildResult run = RunVictim("null", dir.Path(), {"--disk-full"});
    ASSERT_FALSE(run.hung);
    EXPECT_EQ(run.signal, SIGSEGV);
    std::string log = crashtest::ReadFile(dir / "LarkLauncher.Log.txt");
    EXPECT_NE(log.find("FAILED to write crash dump file: could not write the file."), std::string::npos);
    EXPECT_NE(log.find("FAILED writing crash dump file crash_victim_.dmp."), std::string::npos);
    EXPECT_TRUE(crashtest::DumpFiles(dir.Path()).empty());
    EXPECT_NE(log.find("EXCEPT: Exception code: 0000000B ACCESS_VIOLATION"), std::string::npos);
}

TEST(CrashHandlerTest, AFramePointerIntoUnmappedMemoryEndsTheStackListing) {
    hytest::TempDir dir;
    ChildResult run = RunVictim("badframe", dir.Path());
    ASSERT_FALSE(run.hung);
    EXPECT_EQ(run.signal, SIGSEGV);
    // The walk ends where the damage begins: the report is whole and the handler did not fault.
    std::vector<std::string> report = ReportLines(run.err);
    int frames = ExpectReportFormat(report, "ACCESS_VIOLATION");
    EXPECT_GE(frames, 1);
    EXPECT_LE(frames, 3);
    EXPECT_EQ(CountMatching(report, "Exception code: .*"), 1);
    EXPECT_NE(crashtest::LldbBacktrace(dir / "crash_victim_.dmp").find("CrashWithBrokenFramePointer"),
              std::string::npos);
}

TEST(CrashHandlerTest, ACrashOnTheLogWriterThreadIsStillReported) {
    hytest::TempDir dir;
    ChildResult run = RunVictim("reactor", dir.Path());
    ASSERT_FALSE(run.hung);
    EXPECT_EQ(run.signal, SIGSEGV);
    ExpectReportFormat(ReportLines(run.err), "ACCESS_VIOLATION");
    std::string log = crashtest::ReadFile(dir / "LarkLauncher.Log.txt");
    EXPECT_NE(log.find("EXCEPT: Exception code: 0000000B ACCESS_VIOLATION"), std::string::npos) << log;
    EXPECT_NE(crashtest::LldbBacktrace(dir / "crash_victim_.dmp").find("CrashInReactorWrite"),
              std::string::npos);
}

TEST(CrashHandlerTest, PlainNamesReplaceOldDumpsAndTimeStampedNamesKeepThem) {
    hytest::TempDir dir;
    crashtest::Run("/bin/touch", {dir / "old.dmp", dir / "keep.txt"});
    RunVictim("null", dir.Path(), {"--report-id", "A"});
    EXPECT_EQ(crashtest::DumpFiles(dir.Path()), std::vector<std::string>{"crash_victim_A.dmp"});
    EXPECT_EQ(crashtest::ReadFile(dir / "keep.txt"), "");
    struct stat info {};
    EXPECT_EQ(stat((dir / "keep.txt").c_str(), &info), 0);

    ChildResult run = RunVictim("null", dir.Path(), {"--report-id", "A", "--stamped", "--full"});
    ASSERT_FALSE(run.hung);
    std::vector<std::string> dumps = crashtest::DumpFiles(dir.Path());
    ASSERT_EQ(dumps.size(), 2u);
    // Sorted, the time-stamped name comes first ('.' sorts before 'd').
    EXPECT_EQ(dumps[1], "crash_victim_A.dmp");
    EXPECT_TRUE(std::regex_match(dumps[0], std::regex("crash_victim_A\\.\\d{6}-\\d{4}\\.dmp"))) << dumps[0];
    // The full-memory dump holds more than the stacks, and lldb reads it too.
    struct stat plain {}, full {};
    stat((dir / dumps[1]).c_str(), &plain);
    stat((dir / dumps[0]).c_str(), &full);
    EXPECT_GT(full.st_size, plain.st_size);
    EXPECT_NE(crashtest::LldbBacktrace(dir / dumps[0]).find("CrashByNullWrite"), std::string::npos);
}

TEST(CrashHandlerTest, WithADebuggerAttachedNothingIsAskedAndTheSignalGoesToTheDebugger) {
    hytest::TempDir dir;
    // Would answer "yes" and start the report program, as it does untraced (see above).
    ChildResult run = crashtest::RunTraced(
        crashtest::VictimPath(), {"null", dir.Path(), "--answer", "yes", "--program",
                                  crashtest::ReportProgramPath(), "--dump-dir", dir.Path()});
    ASSERT_FALSE(run.hung);
    EXPECT_EQ(run.signal, SIGSEGV);
    // The debugger saw the fault, passed it on to the handler, and saw it again afterwards.
    EXPECT_EQ(std::count(run.stops.begin(), run.stops.end(), SIGSEGV), 2) << run.err;
    EXPECT_EQ(run.out.find("Report"), std::string::npos) << run.out;
    EXPECT_EQ(crashtest::DumpFiles(dir.Path()), std::vector<std::string>{"crash_victim_.dmp"});
    EXPECT_EQ(CountMatching(ReportLines(run.err), "Exception code: .*"), 1);
}

}  // namespace
