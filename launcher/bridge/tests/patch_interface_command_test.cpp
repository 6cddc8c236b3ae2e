// The window's commands as the bridge receives them through its delegate, with the recording
// window library bound in this process.
#include <gtest/gtest.h>

#include <algorithm>

#include "LogCapture.h"
#include "HYThread.h"
#include "OsEnv.h"
#include "OsFile.h"
#include "OsHttp.h"
#include "OsProcess.h"
#include "PatchClientConfig.h"
#include "TempDir.h"
#include "bridge_test_support.h"

namespace {

using bridgetest::Send;
using bridgetest::TestBridge;

class BridgeCommands : public ::testing::Test {
protected:
    void SetUp() override {
        root = dir.Path() + "/";
        HY_OS::CreateDirectories(root + "PatchClient/BankA");
        config.HomeURL = "http://home.example/";
        config.RegistrationURL = "http://register.example/";
        config.MyAccountURL = "";
        config.FallBackURL = "http://fallback.example/";
        config.Language = "English";
        bridgetest::ClearWindowCalls(window);
    }
    std::unique_ptr<TestBridge> MakeBridge(const LaunchOptions& options = {}) {
        return std::make_unique<TestBridge>(root + "PatchClient/BankA/LarkLauncher", options, window);
    }

    hytest::TempDir dir;
    std::string root;
    PatchClientConfig config;
    WindowLibrary& window = bridgetest::RecordingWindow();
};

TEST_F(BridgeCommands, TextsAreSplitAtBarsAndMarkedHandled) {
    EXPECT_EQ(CPatchInterface::SplitCommand("Log||Status|a b|"), (std::vector<std::string>{"Log", "Status", "a b"}));
    EXPECT_TRUE(CPatchInterface::SplitCommand("|||").empty());
    EXPECT_TRUE(CPatchInterface::SplitCommand(nullptr).empty());
    auto bridge = MakeBridge();
    EXPECT_TRUE(Send(*bridge, "Tick"));
    EXPECT_TRUE(Send(*bridge, "SomethingNew|1"));
    EXPECT_FALSE(Send(*bridge, "||"));
    EXPECT_FALSE(Send(*bridge, ""));
}

TEST_F(BridgeCommands, DownloadLimitRates) {
    uint32_t kbps = 99;
    EXPECT_TRUE(CPatchInterface::ParseDownloadLimit("0", kbps));
    EXPECT_EQ(kbps, 0u);
    EXPECT_TRUE(CPatchInterface::ParseDownloadLimit("250", kbps));
    EXPECT_EQ(kbps, 250u);
    EXPECT_TRUE(CPatchInterface::ParseDownloadLimit("4194303", kbps));
    EXPECT_EQ(kbps, 4194303u);
    kbps = 7;
    for (const char* bad : {"", "-1", "12k", " 5", "4194304", "99999999999", "1e3"}) {
        EXPECT_FALSE(CPatchInterface::ParseDownloadLimit(bad, kbps)) << bad;
        EXPECT_EQ(kbps, 7u) << bad;
    }
}

TEST_F(BridgeCommands, TheDownloadLimitCommandSetsTheLimitOfEveryTransfer) {
    auto bridge = MakeBridge();
    uint32_t before = HY_OS::DownloadRateLimit();
    hytest::ScopedLogCapture capture;
    EXPECT_TRUE(Send(*bridge, "SetDownloadLimit|250"));
    EXPECT_EQ(HY_OS::DownloadRateLimit(), 250u);
    EXPECT_EQ(capture->Count("Download rate limit set to 250 KB/s"), 1);
    // A bad rate changes nothing.
    Send(*bridge, "SetDownloadLimit|fast");
    Send(*bridge, "SetDownloadLimit");
    EXPECT_EQ(HY_OS::DownloadRateLimit(), 250u);
    EXPECT_EQ(capture->CountPrefix("Download rate limit not changed: bad rate"), 2);
    Send(*bridge, "SetDownloadLimit|0");
    EXPECT_EQ(HY_OS::DownloadRateLimit(), 0u);
    EXPECT_EQ(capture->Count("Download rate limit removed"), 1);
    HY_OS::SetDownloadRateLimit(before);
}

TEST_F(BridgeCommands, LogLinesKeepTheirPercentSignsAndUnknownLevelsAreDropped) {
    auto bridge = MakeBridge();
    hytest::ScopedLogCapture capture;
    Send(*bridge, "Log|Status|loaded %d pages %s");
    Send(*bridge, "Log|Error|navigation failed");
    Send(*bridge, "Log|Loud|never logged");
    Send(*bridge, "Log|Status");
    EXPECT_EQ(capture->Count("loaded %d pages %s"), 1);
    EXPECT_EQ(capture->Count("navigation failed"), 1);
    EXPECT_EQ(capture->Count("never logged"), 0);
    int errorLevel = 0;
    for (const LogRecord& record : capture->Records())
        if (std::string(record.text) == "navigation failed") errorLevel = record.level;
    EXPECT_EQ(errorLevel, LL_Error);
}

TEST_F(BridgeCommands, AWindowLogLineNamingAPageLosesItsSessionId) {
    auto bridge = MakeBridge();
    hytest::ScopedLogCapture capture;
    Send(*bridge, "Log|Status|Navigate(http://web.example/autologin/news?x=1&jsessionid=SECRET7&y=2)");
    EXPECT_EQ(capture->Count("Navigate(http://web.example/autologin/news?x=1&jsessionid=***&y=2)"), 1);
    for (const LogRecord& record : capture->Records())
        EXPECT_EQ(std::string(record.text).find("SECRET7"), std::string::npos) << record.text;
}

TEST(BridgeMasking, EverySessionIdInATextIsMasked) {
    EXPECT_EQ(CPatchInterface::MaskedForLog("no id here"), "no id here");
    EXPECT_EQ(CPatchInterface::MaskedForLog("a?jsessionid=S1"), "a?jsessionid=***");
    EXPECT_EQ(CPatchInterface::MaskedForLog("a?jsessionid=S1&b=2 then c?jsessionid=S2)"),
              "a?jsessionid=***&b=2 then c?jsessionid=***)");
    EXPECT_EQ(CPatchInterface::MaskedForLog("jsessionid="), "jsessionid=***");
}

TEST_F(BridgeCommands, ButtonsOpenTheirAddressesWhenSet) {
    auto bridge = MakeBridge();
    hytest::ScopedLogCapture capture;
    Send(*bridge, "ClickHome");
    Send(*bridge, "ClickRegister");
    Send(*bridge, "ClickAccount");
    EXPECT_EQ(bridge->opened, (std::vector<std::string>{"http://home.example/", "http://register.example/"}));
    EXPECT_EQ(capture->Count("User clicked the **Home** Button"), 1);
    EXPECT_EQ(capture->Count("User clicked the **Manage Account** Button"), 1);
}

TEST_F(BridgeCommands, ConfigStartsTheSettingsProgramOnceAndNoticesItsEnd) {
    std::string marker = root + "settings-ran";
    std::string program = root + "PatchClient/BankA/SetupPanel";
    ASSERT_TRUE(HY_OS::WriteFileAtomic(program, "#!/bin/sh\ntouch '" + marker + "'\n"));
    ASSERT_TRUE(HY_OS::MakeExecutable(program));
    ASSERT_TRUE(HY_OS::WriteFileAtomic(root + "Lang.txt", "German"));
    auto bridge = MakeBridge();
    bridge->realProcesses = true;
    EXPECT_EQ(bridge->SettingsProgram(), program);
    Send(*bridge, "ClickConfig");
    Send(*bridge, "ClickConfig");  // still running (or not yet noticed): not started twice
    ASSERT_EQ(bridge->started.size(), 1u);
    EXPECT_EQ(bridge->started[0].program, program);
    // Its end is noticed on a later tick, which reads the language file again.
    for (int i = 0; i < 5000 && config.Language != "German"; ++i) Send(*bridge, "Tick");
    EXPECT_EQ(config.Language, "German");
    EXPECT_TRUE(HY_OS::FileExists(marker));
    Send(*bridge, "ClickConfig");
    EXPECT_EQ(bridge->started.size(), 2u);
}

TEST_F(BridgeCommands, LoginHandsTheWindowsFieldsToTheSignIn) {
    auto bridge = MakeBridge();
    bridgetest::SetCredentials(window, u"player", u"swordfish");
    // Not initialised: the patch client refuses to start, which shows error page 102.
    config.PatchErrorURL = "http://errors.example/";
    EXPECT_TRUE(Send(*bridge, "Login"));
    std::vector<std::string> calls = bridgetest::WindowCalls(window);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), "GetUserNameAndPassword");
    bool errorPage = false;
    for (const std::string& call : calls) errorPage = errorPage || call.rfind("GotoPage|http://errors.example/102?", 0) == 0;
    EXPECT_TRUE(errorPage);
    EXPECT_EQ(bridge->CurrentStateText(), "Error102");
    EXPECT_EQ(bridge->CurrentPage(), PK_Error);
}

TEST_F(BridgeCommands, StaticPagesComeFromTheRunningBank) {
    auto bridge = MakeBridge();
    Send(*bridge, "BrowseFirewall");
    bridge->osCode = 108;
    Send(*bridge, "BrowseFirewall");
    // Outside the ready state the static error page is not shown and the command is not handled;
    // the plain static page is shown in the same state.
    EXPECT_FALSE(Send(*bridge, "BrowseStaticError"));
    EXPECT_EQ(bridge->CurrentPage(), PK_Firewall);
    EXPECT_TRUE(Send(*bridge, "BrowseStatic"));
    EXPECT_EQ(bridge->CurrentPage(), PK_Static);
    EXPECT_TRUE(Send(*bridge, "BrowseFallBack"));
    EXPECT_EQ(bridge->CurrentPage(), PK_Error);
    std::vector<std::string> pages;
    for (const std::string& call : bridgetest::WindowCalls(window))
        if (call.rfind("GotoPage|", 0) == 0) pages.push_back(call);
    const std::string web = "GotoPage|" + root + "PatchClient/BankA/web/English/";
    EXPECT_EQ(pages, (std::vector<std::string>{web + "firewall.html|1", web + "firewallVista.html|1",
                                               web + "default.html|1", "GotoPage|http://fallback.example/|1"}));
}

TEST_F(BridgeCommands, TheWindowGetsTheLoopsWaitSourceUnlessSwitchedOff) {
    auto bridge = MakeBridge();
    HY_OS::SetEnv(CPatchInterface::kIgnoreWaitSourceVariable, "1");
    EXPECT_FALSE(bridge->InstallTickWaitSource());
    HY_OS::UnsetEnv(CPatchInterface::kIgnoreWaitSourceVariable);
    EXPECT_TRUE(bridgetest::WindowCalls(window).empty());
    ASSERT_TRUE(bridge->InstallTickWaitSource());
    std::vector<std::string> calls = bridgetest::WindowCalls(window);
    ASSERT_EQ(calls.size(), 1u);
    // The descriptor of this thread's loop.
    EXPECT_EQ(calls[0], "SetTickWaitSource|" + std::to_string(HYThread::Current()->WaitDescriptor()));
    EXPECT_NE(calls[0], "SetTickWaitSource|-1");
    EXPECT_TRUE(Send(*bridge, "Tick"));
}

TEST_F(BridgeCommands, AMissingExportIsReportedAndSkipped) {
    TestBridge bridge(root + "PatchClient/BankA/LarkLauncher", {}, bridgetest::PartialWindow());
    bridgetest::ClearWindowCalls(bridgetest::PartialWindow());
    testing::internal::CaptureStderr();
    bridge.GotoPage("http://news.example/", PK_News, true);
    bridge.OnDisplayErrorMessage(0);
    std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("GotoPage: Function IFnGotoPage was not found in"), std::string::npos) << message;
    // The page is still recorded as requested, and the other exports go on working.
    EXPECT_EQ(bridge.CurrentPage(), PK_News);
    EXPECT_EQ(bridgetest::WindowCalls(bridgetest::PartialWindow()), std::vector<std::string>{"HomeButtonFocus"});
}

}  // namespace
