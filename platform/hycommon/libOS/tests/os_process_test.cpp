#include "OsProcess.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "OsFile.h"
#include "OsHost.h"

namespace {

int WaitFor(uint32_t pid) {
    int status = 0;
    if (::waitpid(static_cast<pid_t>(pid), &status, 0) < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(OsProcess, ListsThisProcessByItsProgramName) {
    std::string self = HY_OS::FileNamePart(HY_OS::GetExecutablePath());
    bool found = false;
    for (const HY_OS::ProcessEntry& process : HY_OS::ListProcesses())
        if (process.processId == HY_OS::GetProcessId()) found = process.executableName == self;
    EXPECT_TRUE(found);
    // Other copies of this test program may run beside it, so only the finding is certain here;
    // the exclusion is checked with a program of a unique name below.
    EXPECT_NE(HY_OS::FindProcessByExecutableName(self, 0), 0u);
    EXPECT_EQ(HY_OS::FindProcessByExecutableName("", 0), 0u);
}

TEST(OsProcess, SpawnsInTheGivenDirectoryAndFindsTheChild) {
    std::string dir = "/tmp/hy_os_spawn_" + std::to_string(::getpid());
    ASSERT_TRUE(HY_OS::CreateDirectories(dir));
    std::string script = dir + "/child-script";
    ASSERT_TRUE(HY_OS::WriteFileAtomic(script, "#!/bin/sh\npwd > where.txt\necho \"$1\" >> where.txt\n"));
    EXPECT_NE(HY_OS::SpawnProcess(script, {}, dir), 0);  // not yet runnable
    ASSERT_TRUE(HY_OS::MakeExecutable(script));
    uint32_t pid = 0;
    ASSERT_EQ(HY_OS::SpawnProcess(script, {"arg one"}, dir, &pid), 0);
    EXPECT_EQ(WaitFor(pid), 0);
    std::string output;
    ASSERT_TRUE(HY_OS::ReadWholeFile(dir + "/where.txt", output));
    EXPECT_EQ(output, dir + "\narg one\n");

    // A copy of sleep under a name no other process on the machine has.
    std::string sleeperName = "sleeper-" + std::to_string(::getpid());
    std::string sleeper = dir + "/" + sleeperName;
    std::string program;
    ASSERT_TRUE(HY_OS::ReadWholeFile("/bin/sleep", program));
    ASSERT_TRUE(HY_OS::WriteFileAtomic(sleeper, program));
    ASSERT_TRUE(HY_OS::MakeExecutable(sleeper));
    ASSERT_EQ(HY_OS::SpawnProcess(sleeper, {"5"}, "", &pid), 0);
    EXPECT_EQ(HY_OS::FindProcessByExecutableName(sleeperName, HY_OS::GetProcessId()), pid);
    EXPECT_EQ(HY_OS::FindProcessByExecutableName(sleeperName, pid), 0u);
    ::kill(static_cast<pid_t>(pid), SIGKILL);
    WaitFor(pid);
    HY_OS::DeleteFile(sleeper);

    EXPECT_NE(HY_OS::SpawnProcess(dir + "/no-such-program", {}, ""), 0);
    EXPECT_FALSE(HY_OS::MakeExecutable(dir + "/no-such-program"));
    HY_OS::DeleteFile(dir + "/where.txt");
    HY_OS::DeleteFile(script);
    HY_OS::RemoveDirectory(dir);
}

TEST(OsProcess, WaitsForAChildAndTellsItsExitCode) {
    uint32_t pid = 0;
    ASSERT_EQ(HY_OS::SpawnProcess("/bin/sh", {"-c", "exit 7"}, "", &pid), 0);
    int code = -1;
    EXPECT_TRUE(HY_OS::WaitForProcess(pid, &code));
    EXPECT_EQ(code, 7);
    // Collected once: a second wait has nothing to wait for.
    EXPECT_FALSE(HY_OS::WaitForProcess(pid, &code));

    ASSERT_EQ(HY_OS::SpawnProcess("/bin/sh", {"-c", "kill -TERM $$"}, "", &pid), 0);
    EXPECT_TRUE(HY_OS::WaitForProcess(pid, &code));
    EXPECT_EQ(code, 128 + SIGTERM);
}

TEST(OsProcess, PollsAChildUntilItHasEnded) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    uint32_t pid = 0;
    // The child ends when the pipe's writing end is closed: "read" sees the end of input. It
    // closes its own inherited copy of the writing end first.
    std::string script = "exec " + std::to_string(pipeFds[1]) + ">&-; read line <&" +
                         std::to_string(pipeFds[0]) + "; exit 3";
    ASSERT_EQ(HY_OS::SpawnProcess("/bin/sh", {"-c", script}, "", &pid), 0);
    ::close(pipeFds[0]);
    int code = -1;
    EXPECT_FALSE(HY_OS::ProcessHasEnded(pid, &code));
    ::close(pipeFds[1]);
    while (!HY_OS::ProcessHasEnded(pid, &code)) ::usleep(1000);
    EXPECT_EQ(code, 3);
    // Nothing left to collect counts as ended, so a poll loop stops.
    EXPECT_TRUE(HY_OS::ProcessHasEnded(pid, &code));
    EXPECT_EQ(code, -1);
}

}  // namespace
