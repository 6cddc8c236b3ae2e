// The pages the bridge shows, its error pages, the game's command line and its start.
#include <gtest/gtest.h>

#include "LogCapture.h"
#include "OsFile.h"
#include "PatchClientConfig.h"
#include "TempDir.h"
#include "bridge_test_support.h"

namespace {

using bridgetest::Send;
using bridgetest::TestBridge;

std::vector<std::string> Pages(WindowLibrary& window) {
    std::vector<std::string> pages;
    for (const std::string& call : bridgetest::WindowCalls(window))
        if (call.rfind("GotoPage|", 0) == 0) pages.push_back(call.substr(9));
    return pages;
}

class BridgePages : public ::testing::Test {
protected:
    void SetUp() override {
        root = dir.Path() + "/";
        HY_OS::CreateDirectories(root + "PatchClient/BankA");
        config.NewsURL = "http://news.example/news";
        config.PatchErrorURL = "http://errors.example/e";
        config.SilentMetricsURL = "http://metrics.example/m";
        bridgetest::ClearWindowCalls(window);
    }
    std::unique_ptr<TestBridge> MakeBridge(const LaunchOptions& options = {}) {
        return std::make_unique<TestBridge>(root + "PatchClient/BankA/LarkLauncher", options, window);
    }
    void Complete(TestBridge& bridge) {
        bridge.OnPCCompleted(root, root + "Bin/", "LarkGame", "-fast", "English", 1000, "KEY123", "player");
    }

    hytest::TempDir dir;
    std::string root;
    PatchClientConfig config;
    WindowLibrary& window = bridgetest::RecordingWindow();
};

TEST_F(BridgePages, AutologinRewriteOfAnAddress) {
    EXPECT_EQ(CPatchInterface::AutoLoginAddress("http://web.example/news/today", "S1"),
              "http://web.example/autologin/news/today?jsessionid=S1");
    EXPECT_EQ(CPatchInterface::AutoLoginAddress("http://web.example/news?x=1", "S1"),
              "http://web.example/autologin/news?x=1&jsessionid=S1");
    // No path after the host: nothing to rewrite, the id is still appended.
    EXPECT_EQ(CPatchInterface::AutoLoginAddress("http://web.example", "S1"), "http://web.example?jsessionid=S1");
}

TEST_F(BridgePages, GotoPageRewritesOnlyWithASessionIdAndWithoutTheFlag) {
    auto plain = MakeBridge();
    plain->GotoPage("http://web.example/a", PK_News, false);
    EXPECT_FALSE(plain->AutoLoginDone());
    LaunchOptions options;
    options.jSessionId = "SESSION9";
    auto bridge = MakeBridge(options);
    hytest::ScopedLogCapture capture;
    bridge->GotoPage("http://web.example/a", PK_Static, true);
    EXPECT_FALSE(bridge->AutoLoginDone());
    bridge->GotoPage("http://web.example/a", PK_News, false);
    EXPECT_TRUE(bridge->AutoLoginDone());
    EXPECT_EQ(bridge->CurrentPage(), PK_News);
    EXPECT_EQ(Pages(window), (std::vector<std::string>{"http://web.example/a|0", "http://web.example/a|1",
                                                       "http://web.example/autologin/a?jsessionid=SESSION9|0"}));
    // The session id is a sign-in token: the log shows the page without it.
    EXPECT_EQ(capture->Count("GotoPage - http://web.example/autologin/a?jsessionid=***"), 1);
    EXPECT_EQ(capture->CountPrefix("GotoPage - http://web.example/autologin/a?jsessionid=SESSION9"), 0);
}

TEST_F(BridgePages, ErrorPagesWithTheirCodesPauseAndSuffix) {
    auto bridge = MakeBridge();
    bridge->OnDisplayErrorMessage(149);
    bridge->OnDisplayErrorMessage(110);
    bridge->OnDisplayErrorMessage(0);
    std::vector<std::string> pages = Pages(window);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].rfind("http://errors.example/e149a?message=149,18,AcctStatus,", 0), 0u) << pages[0];
    EXPECT_EQ(pages[1].rfind("http://errors.example/e110?message=110,18,", 0), 0u) << pages[1];
    EXPECT_NE(pages[1].find(",CurrentState,Error110,"), std::string::npos);
    EXPECT_EQ(bridge->pauses, std::vector<uint32_t>{1000});
    EXPECT_EQ(bridge->CurrentPage(), PK_Error);
    size_t focus = 0;
    for (const std::string& call : bridgetest::WindowCalls(window)) focus += call == "HomeButtonFocus";
    EXPECT_EQ(focus, 3u);
}

TEST_F(BridgePages, TheOsCheckPassesLinuxMacAndNewerWindowsOnly) {
    auto bridge = MakeBridge();
    for (int code : {0, 1, 108, 111, 114}) {
        bridge->osCode = code;
        EXPECT_EQ(bridge->VerifyOS(), 0) << code;
    }
    for (int code : {100, 106, 107, 115}) {
        bridge->osCode = code;
        EXPECT_EQ(bridge->VerifyOS(), 150) << code;
    }
}

TEST_F(BridgePages, PatchingPagesForANewPlayer) {
    auto bridge = MakeBridge();
    Send(*bridge, "PreInitDialog");
    EXPECT_TRUE(bridge->NewPlayer());
    EXPECT_TRUE(bridge->FreshInstall());
    bridge->OnReportPatchingStateToUI(ST_VerifyingUser);  // no page: not patching, no session id
    bridge->OnReportPatchingStateToUI(ST_GamePatching);
    std::vector<std::string> pages = Pages(window);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].rfind("http://news.example/news/New/patching?message=patching,18,AcctStatus,NEW,", 0), 0u);
    EXPECT_EQ(bridge->CurrentPage(), PK_Patching);
    std::vector<std::string> calls = bridgetest::WindowCalls(window);
    EXPECT_EQ(calls.front(), "ConnectToLogin");
}

TEST_F(BridgePages, ThePlayButtonWaitsForTheCompletedPatch) {
    auto bridge = MakeBridge();
    Send(*bridge, "Play");
    EXPECT_TRUE(bridge->started.empty());
    hytest::ScopedLogCapture capture;
    Complete(*bridge);
    EXPECT_TRUE(bridge->ReadyToPlay());
    EXPECT_EQ(bridge->GameCommandLine(),
              "\"" + root + "Bin/LarkGame\" -fast -A English  -U ..1000 KEY123 player");
    EXPECT_EQ(bridge->GameCommandLog(), "CommandCommand: \"" + root + "Bin/LarkGame\" -fast  -U ..1000 ***");
    Send(*bridge, "Play");
    ASSERT_EQ(bridge->started.size(), 1u);
    EXPECT_EQ(bridge->started[0].program, root + "Bin/LarkGame");
    EXPECT_EQ(bridge->started[0].arguments,
              (std::vector<std::string>{"-fast", "-A", "English", "-U", "..1000", "KEY123", "player"}));
    EXPECT_EQ(bridge->started[0].directory, root + "Bin/");
    std::vector<std::string> calls = bridgetest::WindowCalls(window);
    EXPECT_EQ(calls[calls.size() - 2], "HideWindow");
    EXPECT_EQ(calls.back(), "PostQuitMessage");
    // The pass key never reaches the log.
    for (const std::string& text : capture->Texts()) EXPECT_EQ(text.find("KEY123"), std::string::npos) << text;
    EXPECT_EQ(capture->Count("Command: " + bridge->GameCommandLog()), 1);
}

TEST_F(BridgePages, AGameWithoutALanguageAndOneThatCannotStart) {
    auto bridge = MakeBridge();
    bridge->OnPCCompleted(root, root + "Bin/", "LarkGame", "", "", 7, "K", "p");
    EXPECT_EQ(bridge->GameCommandLine(), "\"" + root + "Bin/LarkGame\"   -U ..7 K p");
    bridge->startError = 2;
    bridgetest::ClearWindowCalls(window);
    Send(*bridge, "Play");
    std::vector<std::string> pages = Pages(window);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].rfind("http://errors.example/e105?", 0), 0u);
    for (const std::string& call : bridgetest::WindowCalls(window)) EXPECT_NE(call, "PostQuitMessage");
}

TEST_F(BridgePages, ClosingANewPlayersWindowReportsIt) {
    auto bridge = MakeBridge();
    Send(*bridge, "PreInitDialog");
    EXPECT_FALSE(Send(*bridge, "OnClose"));
    ASSERT_EQ(bridge->reports.size(), 1u);
    EXPECT_EQ(bridge->reports[0].rfind("http://metrics.example/m?message=UserClosed,18,AcctStatus,NEW,", 0), 0u);
    // A returning player's close sends nothing.
    ASSERT_TRUE(HY_OS::WriteFileAtomic(root + "LocalPackagesList.txt", "Base\n"));
    auto returning = MakeBridge();
    Send(*returning, "PreInitDialog");
    EXPECT_FALSE(returning->NewPlayer());
    Send(*returning, "OnClose");
    EXPECT_TRUE(returning->reports.empty());
}

}  // namespace
