#include <windows.h>

#include "OsProcess.h"

#include <gtest/gtest.h>

#include "OsFile.h"
#include "OsHost.h"
#include "OsNamedEvent.h"
#include "TempDir.h"

namespace {

using hytest::TempDir;

// The helper program built beside this test (its path comes from the build).
const std::string kChild = HY_OS_TEST_CHILD;

int WaitFor(uint32_t pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (process == nullptr) return -1;
    DWORD code = 0;
    bool ok = WaitForSingleObject(process, 30000) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return ok ? static_cast<int>(code) : -1;
}

TEST(OsProcessWin, ListsThisProcessByItsProgramName) {
    std::string self = HY_OS::FileNamePart(HY_OS::GetExecutablePath());
    EXPECT_EQ(self, "hy_os_tests.exe");
    bool found = false;
    for (const HY_OS::ProcessEntry& process : HY_OS::ListProcesses())
        if (process.processId == HY_OS::GetProcessId()) found = process.executableName == self;
    EXPECT_TRUE(found);
    EXPECT_NE(HY_OS::FindProcessByExecutableName(self, 0), 0u);
    EXPECT_EQ(HY_OS::FindProcessByExecutableName("", 0), 0u);
}

// Arguments arrive in the child exactly as given: blanks, quotes, trailing backslashes, drive
// letters and empty ones included; the child runs in the given directory.
TEST(OsProcessWin, SpawnsInTheGivenDirectoryWithArgumentsIntact) {
    TempDir dir;
    std::string out = dir.Path("args.txt");
    std::vector<std::string> arguments = {"write", out, "plain", "two words", "C:\\Program Files\\",
                                          "say \"hi\"", "", "back\\\\slash\\\"q"};
    uint32_t pid = 0;
    ASSERT_EQ(HY_OS::SpawnProcess(kChild, arguments, dir.Path(), &pid), 0);
    EXPECT_EQ(WaitFor(pid), 0);
    std::string written;
    ASSERT_TRUE(HY_OS::ReadWholeFile(out, written));
    char full[MAX_PATH * 2];
    ASSERT_GT(GetFullPathNameA(dir.Path().c_str(), sizeof full, full, nullptr), 0u);
    std::string expected = std::string(full) + "\n";
    for (size_t i = 2; i < arguments.size(); ++i) expected += arguments[i] + "\n";
    EXPECT_EQ(written, expected);
}

TEST(OsProcessWin, FindsAChildByItsUniqueNameAndReportsFailures) {
    TempDir dir;
    std::string name = "sleeper-" + std::to_string(HY_OS::GetProcessId()) + ".exe";
    std::string sleeper = dir.Path(name);
    ASSERT_TRUE(CopyFileA(kChild.c_str(), sleeper.c_str(), FALSE));
    EXPECT_TRUE(HY_OS::MakeExecutable(sleeper));
    uint32_t pid = 0;
    ASSERT_EQ(HY_OS::SpawnProcess(sleeper, {"sleep", "20000"}, "", &pid), 0);
    EXPECT_EQ(HY_OS::FindProcessByExecutableName(name, HY_OS::GetProcessId()), pid);
    EXPECT_EQ(HY_OS::FindProcessByExecutableName(name, pid), 0u);
    // Letter case counts.
    EXPECT_EQ(HY_OS::FindProcessByExecutableName("SLEEPER-" + name.substr(8), 0), 0u);
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    ASSERT_NE(process, nullptr);
    TerminateProcess(process, 9);
    WaitForSingleObject(process, 30000);
    CloseHandle(process);

    EXPECT_NE(HY_OS::SpawnProcess(dir.Path("no-such-program.exe"), {}, ""), 0);
    EXPECT_FALSE(HY_OS::MakeExecutable(dir.Path("no-such-program.exe")));
    // Nothing in the list can be this process's window owner but this process; the call on a
    // process without windows does nothing and returns.
    HY_OS::BringProcessWindowsToFront(HY_OS::GetProcessId());
}

// Another process opens the launcher's event by its name alone and sets it.
TEST(OsProcessWin, AnotherProcessSetsANamedEvent) {
    const std::string name = "HYTestEvent.child." + std::to_string(HY_OS::GetProcessId());
    auto waiter = HY_OS::NamedEvent::CreateFresh(name);
    ASSERT_NE(waiter, nullptr);
    uint32_t pid = 0;
    ASSERT_EQ(HY_OS::SpawnProcess(kChild, {"set-event", name}, "", &pid), 0);
    EXPECT_TRUE(waiter->WaitMs(30000));
    EXPECT_EQ(WaitFor(pid), 0);
    waiter->Remove();
    ASSERT_EQ(HY_OS::SpawnProcess(kChild, {"set-event", name}, "", &pid), 0);
    EXPECT_EQ(WaitFor(pid), 3) << "closed: the name is gone with the last handle";
}

}  // namespace
