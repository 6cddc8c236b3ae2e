// The shell's calls that every platform shares: which addresses are opened, and what a message
// box shows and answers when nobody can answer it.
#include "OsShell.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

using namespace HY_OS;

TEST(OsShell, OnlyWebAddressesAreHandedToTheShell) {
    for (const char* good : {"http://larkspur.example/news", "https://larkspur.example/",
                             "HTTP://LARKSPUR.EXAMPLE/Account?id=5", "hTtPs://x"})
        EXPECT_TRUE(IsWebAddress(good)) << good;
    for (const char* bad : {"", "http://", "https://", "C:\\Windows\\notepad.exe", "/usr/bin/xterm",
                            "file:///etc/passwd", "javascript:alert(1)", "ftp://host/f",
                            "httpx://host", " http://host", "http://host/\r\nInjected: 1",
                            "http://host/\x7f"})
        EXPECT_FALSE(IsWebAddress(bad)) << bad;
    // A refused address never reaches the shell.
    EXPECT_EQ(OpenAddress("C:\\Windows\\notepad.exe"), EINVAL);
    EXPECT_EQ(OpenAddress("file:///etc/passwd"), EINVAL);
}

// Switched to non-interactive, a box waits for nobody: it shows its text on standard error and
// answers the safe button of each kind. Switched back, the setting says so.
TEST(OsShell, NonInteractiveMessageBoxShowsItsTextAndAnswersTheSafeButton) {
    SetMessageBoxesInteractive(false);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(SystemMessageBox("Error", "A problem has occurred", MBB_YesNo), MBA_No);
    EXPECT_EQ(SystemMessageBox("Error", "x == 0\n File: a.cpp, Line: 3", MBB_AbortRetryIgnore), MBA_Abort);
    EXPECT_EQ(SystemMessageBox("ERROR", "LarkLauncherUI.dll is missing", MBB_Ok), MBA_Ok);
    std::string shown = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(shown.find("[Error] A problem has occurred\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("[Error] x == 0\n File: a.cpp, Line: 3\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("[ERROR] LarkLauncherUI.dll is missing\n"), std::string::npos) << shown;
    EXPECT_FALSE(MessageBoxesInteractive());
    SetMessageBoxesInteractive(true);
    EXPECT_TRUE(MessageBoxesInteractive());
}

}  // namespace
