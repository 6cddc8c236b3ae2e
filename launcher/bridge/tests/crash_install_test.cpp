// The launcher puts the crash handler in place twice: during static initialisation and in the
// application object's constructor.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>

#include "HYCrashHandler.h"
#include "OsCrash.h"
#include "PatchClientUI.h"
#include "launcher_test_support.h"

namespace {

TEST(LauncherCrashHandler, InstalledAtStaticInitialisationAndAgainByTheApplicationObject) {
    EXPECT_TRUE(HYCrashHandler::IsInstalled());
    EXPECT_TRUE(HY_OS::CrashSignalsInstalled());
    HY_OS::UninstallCrashSignals();
    ASSERT_FALSE(HY_OS::CrashSignalsInstalled());
    CPatchClientUIApp app;
    EXPECT_TRUE(HY_OS::CrashSignalsInstalled());
    EXPECT_EQ(HYCrashHandler::Settings().reportProgram.substr(
                  HYCrashHandler::Settings().reportProgram.rfind('/') + 1),
              "FaultCourier");
}

// The launcher program itself: killed by a fault signal while its window is open, it leaves its
// dump and report in its bank directory and ends with the signal.
TEST(LauncherCrashHandler, TheLauncherReportsACrashWhileItsWindowIsOpen) {
    launcher_test::GameRoot root;
    root.WriteConfig();
    std::string record = root.Root() + "/window.txt";
    std::string hold = root.Root() + "/close-window";
    launcher_test::ChildProcess launcher(root.Launcher(), {"-r"},
                                         launcher_test::FakeWindowEnvironment(record, hold),
                                         root.Bank());
    ASSERT_TRUE(launcher.Started());
    ASSERT_TRUE(launcher_test::WaitForText(record, "|ShowUI|"));
    // Each line of the record starts with the launcher's process id.
    int pid = std::atoi(launcher_test::ReadFile(record).c_str());
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, SIGSEGV), 0);
    launcher_test::ProcessResult result = launcher.Wait(30000);
    EXPECT_EQ(result.exitCode, -1);  // ended by the signal
    std::string dump = launcher_test::ReadFile(root.InBank(root.LauncherName() + "_.dmp"));
    EXPECT_EQ(dump.substr(0, 4), "MDMP");
    std::string log = root.ReadLog();
    EXPECT_NE(log.find("EXCEPT: Exception code: 0000000B ACCESS_VIOLATION"), std::string::npos) << log;
    EXPECT_NE(log.find("SUCCEEDED writing crash dump file " + root.LauncherName() + "_.dmp."),
              std::string::npos);
    EXPECT_NE(result.standardError.find("EXCEPT : Registers:"), std::string::npos);
}

}  // namespace
