// The crash handler on Windows, seen from outside: a child program crashes on purpose and the
// test reads what the handler left behind.
#include "HYCrashHandler.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "TempDir.h"

namespace {

const std::string kVictim = CRASH_VICTIM_WIN_PATH;
const std::string kCourier = CRASH_COURIER_WIN_PATH;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

struct VictimRun {
    DWORD exitCode = 0;
    std::string err;
};

// Runs the victim with its standard error in a file and waits (at most a minute) for its end.
VictimRun RunVictim(const hytest::TempDir& dir, const std::string& kind, const std::string& answer) {
    VictimRun run;
    std::string errPath = dir / "stderr.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(err, INVALID_HANDLE_VALUE);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = err;
    startup.hStdError = err;
    std::string line = "\"" + kVictim + "\" " + kind + " \"" + dir.Path() + "\" r42 \"" + kCourier +
                       "\" " + answer;
    PROCESS_INFORMATION process{};
    BOOL started = CreateProcessA(kVictim.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &process);
    CloseHandle(err);
    EXPECT_TRUE(started) << GetLastError();
    if (!started) return run;
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Standard error is in text mode: lines end in CRLF.
    for (char c : ReadAll(errPath))
        if (c != '\r') run.err += c;
    return run;
}

std::string VictimName() {
    size_t slash = kVictim.find_last_of("\\/");
    std::string name = kVictim.substr(slash == std::string::npos ? 0 : slash + 1);
    if (name.size() > 4 && name.substr(name.size() - 4) == ".exe") name.resize(name.size() - 4);
    return name;
}

// An access violation: the dump beside the old ones' place (older dumps removed), the report
// with its exception, registers and the other runtime thread's stack, and "no" from the default
// question (nobody to ask), so no report program runs.
TEST(CrashHandlerWin, AccessViolationLeavesADumpAndTheReport) {
    hytest::TempDir dir;
    std::ofstream(dir / "old.dmp") << "an older dump";
    VictimRun run = RunVictim(dir, "null", "default");
    EXPECT_EQ(run.exitCode, 0xC0000005u) << run.err;
    std::string dump = ReadAll(dir / (VictimName() + "_r42.dmp"));
    ASSERT_GE(dump.size(), 4u) << run.err;
    EXPECT_EQ(dump.substr(0, 4), "MDMP");
    EXPECT_FALSE(Exists(dir / "old.dmp"));
    EXPECT_NE(run.err.find("Started writing crash dump file..."), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("SUCCEEDED writing crash dump file "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("EXCEPT : =====================================================\n"),
              std::string::npos);
    EXPECT_NE(run.err.find("EXCEPT : Exception code: C0000005 ACCESS_VIOLATION\n"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("EXCEPT : Fault address:  "), std::string::npos);
    EXPECT_NE(run.err.find("EXCEPT : CS:RIP:"), std::string::npos);
    EXPECT_NE(run.err.find("EXCEPT : Address           Logical addr          Module\n"),
              std::string::npos);
    // The fault lies in the victim's code: its first section and its file name.
    EXPECT_NE(run.err.find("0001:"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(VictimName() + ".exe"), std::string::npos);
    EXPECT_NE(run.err.find("Stack:\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("[Error] A problem has occurred - Do you wish you report this error to Halcyra?"),
              std::string::npos) << run.err;
    EXPECT_FALSE(Exists(dir / "courier.txt"));
}

// "Yes" starts the report program with the dump directory and the report id.
TEST(CrashHandlerWin, AnsweringYesStartsTheReportProgram) {
    hytest::TempDir dir;
    VictimRun run = RunVictim(dir, "divide", "yes");
    EXPECT_EQ(run.exitCode, 0xC0000094u) << run.err;
    EXPECT_NE(run.err.find("Exception code: C0000094 INT_DIVIDE_BY_ZERO"), std::string::npos) << run.err;
    for (int i = 0; i < 500 && !Exists(dir / "courier.txt"); ++i) Sleep(20);
    EXPECT_EQ(ReadAll(dir / "courier.txt"), dir.Path() + "|r42");
}

// An exception code of no known name is named by the system's text for it (none here), and
// answering "no" starts nothing.
TEST(CrashHandlerWin, UnknownCodeIsReportedByNumberAndNoStartsNothing) {
    hytest::TempDir dir;
    VictimRun run = RunVictim(dir, "raise", "no");
    EXPECT_EQ(run.exitCode, 0xE0C0FFEEu) << run.err;
    EXPECT_NE(run.err.find("Exception code: E0C0FFEE"), std::string::npos) << run.err;
    EXPECT_TRUE(Exists(dir / (VictimName() + "_r42.dmp")));
    Sleep(200);
    EXPECT_FALSE(Exists(dir / "courier.txt"));
}

}  // namespace
