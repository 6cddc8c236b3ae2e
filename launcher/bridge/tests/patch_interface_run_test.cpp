// Whole runs of the bridge in this process against larkserver (login and patch roles) serving a
// repository published by larkpublish: the window's commands drive the patch client, "Tick" runs
// its loop, and the recording window library shows what the window was told.
#include <gtest/gtest.h>

#include "OsFile.h"
#include "OsTime.h"
#include "PatchClientConfig.h"
#include "bridge_test_support.h"
#include "patchclient_test_support.h"

namespace {

using bridgetest::Send;
using bridgetest::TestBridge;

bool HasCall(WindowLibrary& window, const std::string& prefix) {
    for (const std::string& call : bridgetest::WindowCalls(window))
        if (call.rfind(prefix, 0) == 0) return true;
    return false;
}

class BridgeRun : public ::testing::Test {
protected:
    void SetUp() override {
        world.PrepareInProcess(config, "launcher v1\n");
        config.NewsURL = "http://news.example/n";
        config.PatchErrorURL = "http://errors.example/e";
        config.AppStartRegistryKey = "AppStart";
        bank = world.root + "PatchClient/BankA/";
        // The launcher runs in its bank; markers it keeps relative to it land in the game root.
        previous = HY_OS::GetCurrentDirectory();
        ASSERT_TRUE(HY_OS::SetCurrentDirectory(bank));
        bridgetest::ClearWindowCalls(window);
    }
    void TearDown() override { HY_OS::SetCurrentDirectory(previous); }

    // Ticks until `done` or 60 seconds have passed.
    template <typename Done>
    bool TickUntil(CPatchInterface& bridge, Done done) {
        uint64_t start = HY_OS::GetMonotonicMs();
        while (!done()) {
            if (HY_OS::GetMonotonicMs() - start > 60000) return false;
            Send(bridge, "Tick");
        }
        return true;
    }

    pctest::GameWorld world;
    PatchClientConfig config;
    std::string bank;
    std::string previous;
    WindowLibrary& window = bridgetest::RecordingWindow();
};

TEST_F(BridgeRun, SignInPatchAndPlay) {
    LaunchOptions options;
    options.runFlag = true;
    TestBridge bridge(bank + "patchclient_driver", options, window);
    Send(bridge, "PreInitDialog");
    EXPECT_TRUE(bridge.NewPlayer());
    Send(bridge, "InitDialog");
    EXPECT_EQ(bridge.GetState(), ST_Ready);
    EXPECT_EQ(bridge.CurrentPage(), PK_New);
    // Static pages from the running bank need the ready state.
    EXPECT_TRUE(Send(bridge, "BrowseStaticError"));
    EXPECT_EQ(bridge.CurrentPage(), PK_StaticError);

    // Control characters typed into the account name are taken out: "player" signs in.
    bridgetest::SetCredentials(window, u"pla\tyer\r\n", u"swordfish");
    Send(bridge, "Login");
    ASSERT_TRUE(TickUntil(bridge, [&] { return bridge.ReadyToPlay() || bridge.CurrentPage() == PK_Error; }));
    ASSERT_TRUE(bridge.ReadyToPlay()) << bridge.CurrentStateText();
    EXPECT_EQ(world.Read("Readme.txt"), "Larkspur\n");
    EXPECT_TRUE(HasCall(window, "ShowProgressControls"));
    EXPECT_TRUE(HasCall(window, "ConnectToLogin"));
    EXPECT_TRUE(HasCall(window, "PatchingPatchClient"));
    EXPECT_TRUE(HasCall(window, "ReportTotalProgress|100"));
    // The login's web session id signs the player in on the web site's pages.
    EXPECT_TRUE(HasCall(window, "GotoPage|http://news.example/autologin/n/New/patchComplete?message=patchComplete,18,"));
    EXPECT_TRUE(HasCall(window, "ReadyToPlay"));
    EXPECT_EQ(bridge.TotalProgress(), 100);
    // The world-data packages are listed for the game patch, once each.
    std::string list = world.Read("LocalPackagesList.txt");
    for (const char* name : {"Player-WorldData\n", "Mob-WorldData\n", "Ship-WorldData\n", "Sound-WorldData\n"})
        EXPECT_EQ(list.find(name), list.rfind(name)) << list;
    EXPECT_NE(list.find("Sound-WorldData\n"), std::string::npos) << list;
    // Busy states set the marker that keeps the settings program from changing the language.
    EXPECT_TRUE(HY_OS::FileExists(world.root + "NoLangChange.txt"));

    Send(bridge, "Play");
    ASSERT_EQ(bridge.started.size(), 1u);
    EXPECT_EQ(bridge.started[0].program, world.root + "Bin/LarkGame");
    EXPECT_EQ(bridge.started[0].arguments[0], "-A");
    EXPECT_EQ(bridge.started[0].arguments[3], "..1000");
    EXPECT_EQ(bridge.started[0].arguments.back(), "player");
    EXPECT_TRUE(HasCall(window, "PostQuitMessage"));
}

TEST_F(BridgeRun, AWrongPasswordShowsItsErrorPageAndTheLoginAgain) {
    LaunchOptions options;
    options.runFlag = true;
    TestBridge bridge(bank + "patchclient_driver", options, window);
    Send(bridge, "PreInitDialog");
    Send(bridge, "InitDialog");
    bridgetest::SetCredentials(window, u"player", u"wrong");
    Send(bridge, "Login");
    ASSERT_TRUE(TickUntil(bridge, [&] { return bridge.GetState() == ST_Ready && bridge.CurrentPage() == PK_Error; }));
    EXPECT_FALSE(bridge.ReadyToPlay());
    EXPECT_EQ(bridge.CurrentStateText().rfind("Error", 0), 0u);
    EXPECT_TRUE(HasCall(window, "GotoPage|http://errors.example/e"));
    std::vector<std::string> calls = bridgetest::WindowCalls(window);
    EXPECT_EQ(calls.back(), "ShowLoginControls");
    EXPECT_EQ(world.Read("Readme.txt"), "");
}

TEST_F(BridgeRun, QuitDuringThePatchStopsCleanly) {
    LaunchOptions options;
    options.runFlag = true;
    TestBridge bridge(bank + "patchclient_driver", options, window);
    Send(bridge, "PreInitDialog");
    Send(bridge, "InitDialog");
    bridgetest::SetCredentials(window, u"player", u"swordfish");
    Send(bridge, "Login");
    ASSERT_TRUE(TickUntil(bridge, [&] { return bridge.GetState() >= ST_LeadPatching; }));
    Send(bridge, "Quit");
    ASSERT_TRUE(TickUntil(bridge, [&] { return HasCall(window, "PostQuitMessage"); }));
    EXPECT_FALSE(bridge.ReadyToPlay());
    // Nothing half-written is left under a game file's name: each is whole or absent.
    std::string readme = world.Read("Readme.txt");
    EXPECT_TRUE(readme.empty() || readme == "Larkspur\n") << readme;
    std::string client = world.Read("Bin/GameClient.txt");
    EXPECT_TRUE(client.empty() || client == std::string(3000, 'g'));
}

}  // namespace
