// The launcher program end to end: installed into BankA of a temporary game root with its
// configuration and a window library driven by a script on standard input, against larkserver
// (login and patch roles) serving a build published by larkpublish. Each test reads the window's
// lines ("BankA: page ...") and the files the run leaves behind.
#include <signal.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "OsFile.h"
#include "OsTime.h"
#include "patchclient_test_support.h"

namespace {

using pctest::DriverRun;
using pctest::GameWorld;

std::string Dump(const DriverRun& run) {
    std::string text;
    for (const std::string& line : run.lines) text += line + "\n";
    return text;
}

bool HasPrefix(const DriverRun& run, const std::string& prefix) {
    for (const std::string& line : run.lines)
        if (line.rfind(prefix, 0) == 0) return true;
    return false;
}

// A game that writes its command line and process id into the game root and, when asked to,
// stays up for `seconds` without ever signalling its start.
std::string GameScript(const std::string& root, int seconds) {
    return "#!/bin/sh\necho \"$@\" > '" + root + "game-args.txt'\necho $$ > '" + root + "game-pid.txt'\n" +
           (seconds > 0 ? "exec sleep " + std::to_string(seconds) + "\n" : std::string());
}

class LauncherEndToEnd : public ::testing::Test {
protected:
    explicit LauncherEndToEnd(int gameSeconds = 0) : gameSeconds(gameSeconds) {}
    void SetUp() override {
        world = std::make_unique<GameWorld>();
        world->programPath = LARK_LAUNCHER_PATH;
        // A name of its own keeps the single-instance check away from launchers of other tests.
        std::string folder = world->dir.Path();
        world->programName = "LarkLauncher_" + folder.substr(folder.find_last_of("/.") + 1);
        world->bankFiles["libLarkLauncherUI.so"] = SCRIPTED_WINDOW_LIBRARY;
        world->SetBuildFile("Bin/LarkGame", GameScript(world->root, gameSeconds));
        world->Publish();
        ::unsetenv("SCRIPTED_WINDOW_QUIT_WHEN_PATCHING");
        // The scripted window is installed under the graphical window's name; the launcher
        // would take the terminal front-end without a display otherwise.
        ::setenv("LARK_UI", "graphical", 1);
    }
    void TearDown() override {
        std::string pid = world->Read("game-pid.txt");
        if (!pid.empty()) ::kill(std::atoi(pid.c_str()), SIGKILL);
    }

    int gameSeconds;
    std::unique_ptr<GameWorld> world;
};

TEST_F(LauncherEndToEnd, SignInLeadPatchRelaunchGamePatchAndPlay) {
    world->InstallLauncher("BankA", "launcher v0\n");
    DriverRun run = world->Run("BankA", {"-r"}, "player\nswordfish\n\n");
    SCOPED_TRACE(Dump(run));
    // The first launcher signs in, patches its copy in BankB and hands over to it.
    int prompt = run.IndexOf("BankA: prompt");
    int handOver = run.IndexOf("BankA: launching-new-patch-client");
    ASSERT_GE(prompt, 0);
    EXPECT_LT(prompt, handOver);
    EXPECT_TRUE(run.Has("BankA: window-closed"));
    // The second one signs in with the pass key, without asking, patches the game and plays.
    EXPECT_FALSE(run.Has("BankB: prompt"));
    int ready = run.IndexOf("BankB: ready-to-play");
    int play = run.IndexOf("BankB: play");
    ASSERT_GE(ready, 0);
    EXPECT_LT(ready, play);
    EXPECT_TRUE(run.Has("BankB: hide"));
    EXPECT_TRUE(run.Has("BankB: window-closed"));
    EXPECT_EQ(world->Read("PatchClient/BankB/LauncherNotes.txt"), "launcher v1\n");
    EXPECT_EQ(world->Read("Readme.txt"), "Larkspur\n");
    // The game got its account id, pass key and name.
    std::string args = world->Read("game-args.txt");
    EXPECT_EQ(args.rfind("-A English -U ..1000 ", 0), 0u) << args;
    EXPECT_NE(args.find(" player"), std::string::npos) << args;
    // The first launcher waited for the second: its exit code is the second one's.
    EXPECT_EQ(run.firstExit, 1);
    std::string log = world->Read("PatchClient/BankB/LarkLauncher.Log.txt");
    EXPECT_NE(log.find("CommandCommand: \"" + world->root + "Bin/LarkGame\""), std::string::npos) << log;
    std::string passKey = args.substr(args.find("..1000 ") + 7);
    passKey = passKey.substr(0, passKey.find(' '));
    ASSERT_FALSE(passKey.empty());
    EXPECT_EQ(log.find(passKey), std::string::npos) << "the pass key is in the log";
}

TEST_F(LauncherEndToEnd, AWrongPasswordShowsTheErrorPageAndAsksAgain) {
    world->InstallLauncher("BankA", "launcher v1\n");
    DriverRun run = world->Run("BankA", {"-r"}, "player\nwrong\n");
    SCOPED_TRACE(Dump(run));
    EXPECT_TRUE(HasPrefix(run, "BankA: page http://127.0.0.1/1"));
    EXPECT_TRUE(run.Has("BankA: show-login"));
    EXPECT_EQ(run.Count("BankA: prompt"), 2u);
    EXPECT_TRUE(run.Has("BankA: close"));
    EXPECT_TRUE(run.Has("BankA: window-closed"));
    EXPECT_FALSE(run.Has("BankA: ready-to-play"));
    EXPECT_EQ(world->Read("Readme.txt"), "");
}

TEST_F(LauncherEndToEnd, AServerThatIsDownShowsTheErrorPage) {
    world->InstallLauncher("BankA", "launcher v1\n");
    world->StopServers();
    DriverRun run = world->Run("BankA", {"-r"}, "player\nswordfish\n");
    SCOPED_TRACE(Dump(run));
    EXPECT_TRUE(HasPrefix(run, "BankA: page http://127.0.0.1/1"));
    EXPECT_EQ(run.Count("BankA: prompt"), 2u);
    EXPECT_TRUE(run.Has("BankA: window-closed"));
    EXPECT_FALSE(run.Has("BankA: ready-to-play"));
}

TEST_F(LauncherEndToEnd, QuitDuringThePatchStopsCleanly) {
    world->InstallLauncher("BankA", "launcher v1\n");
    ::setenv("SCRIPTED_WINDOW_QUIT_WHEN_PATCHING", "1", 1);
    DriverRun run = world->Run("BankA", {"-r"}, "player\nswordfish\n");
    ::unsetenv("SCRIPTED_WINDOW_QUIT_WHEN_PATCHING");
    SCOPED_TRACE(Dump(run));
    EXPECT_TRUE(run.Has("BankA: patching"));
    EXPECT_TRUE(run.Has("BankA: quit"));
    EXPECT_TRUE(run.Has("BankA: window-closed"));
    EXPECT_FALSE(run.Has("BankA: ready-to-play"));
    EXPECT_FALSE(HY_OS::FileExists(world->root + "game-args.txt"));
    // Every game file is whole or absent.
    for (const auto& [path, content] : world->game) {
        std::string text = world->Read(path);
        EXPECT_TRUE(text.empty() || text == content) << path;
    }
}

// The same runs with the terminal front-end, the player's input on a pipe that stays open until
// the test closes it (its end is the window's close request).
class TerminalEndToEnd : public LauncherEndToEnd {
protected:
    void SetUp() override {
        LauncherEndToEnd::SetUp();
        world->bankFiles.erase("libLarkLauncherUI.so");
        world->bankFiles["libLarkLauncherUI-term.so"] = TERM_WINDOW_LIBRARY;
        ::setenv("LARK_UI", "terminal", 1);
        // The sample game client, which sets the start-up event; an event name of this test's own.
        std::string game;
        ASSERT_TRUE(HY_OS::ReadWholeFile(LARKGAME_PATH, game));
        world->SetBuildFile("Bin/LarkGame", game);
        world->Publish();
        std::string folder = world->dir.Path();
        std::string event = "HYStartupEvent_" + folder.substr(folder.find_last_of("/.") + 1);
        ::setenv("LARK_STARTUP_EVENT", event.c_str(), 1);
        ::setenv("LARKGAME_EVENT", event.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("LARK_STARTUP_EVENT");
        ::unsetenv("LARKGAME_EVENT");
        LauncherEndToEnd::TearDown();
    }
    // Waits up to 60 s until the output has `count` lines starting with `prefix`.
    bool WaitForLines(const std::string& prefix, size_t count) {
        uint64_t start = HY_OS::GetMonotonicMs();
        while (HY_OS::GetMonotonicMs() - start < 60000) {
            size_t found = 0;
            for (const std::string& line : world->OutputLines()) found += line.rfind(prefix, 0) == 0;
            if (found >= count) return true;
            HY_OS::SleepMs(20);
        }
        return false;
    }
};

TEST_F(TerminalEndToEnd, SignInRelaunchPatchAndPlay) {
    world->InstallLauncher("BankA", "launcher v0\n");
    int input = -1;
        // The configuration names an EULA: it is accepted first.
    pid_t runner = world->Launch("BankA", {"-r"}, "a\nplayer\nswordfish\n", &input);
    ASSERT_GT(runner, 0);
    // The launcher relaunched from BankB shows the EULA again and reads its answer from the
    // same input: the first launcher, waiting for it, has read nothing ahead.
    bool secondEula = WaitForLines("[Accept/Decline]", 2);
    if (secondEula) (void)!::write(input, "a\n", 2);
    bool offered = secondEula && WaitForLines("PLAY! Press Enter to play.", 1);
    (void)!::write(input, "\n", 1);
    ::close(input);
    DriverRun run;
    EXPECT_TRUE(world->WaitChain(runner, run, 60000));
    SCOPED_TRACE(Dump(run));
    ASSERT_TRUE(secondEula);
    ASSERT_TRUE(offered);
    // Two windows: the first launcher's and the one relaunched from BankB.
    EXPECT_EQ(run.Count("Larkspur (type /help for the commands)"), 2u);
    EXPECT_TRUE(run.Has("File: Launching New Patch Client... 100%"));
    EXPECT_TRUE(HasPrefix(run, "Page: http://127.0.0.1/autologin//New/patchComplete?message=patchComplete,18,"));
    // The game got the account id, pass key and name in the game's folder, and said it was up.
    EXPECT_TRUE(run.Has("larkgame: -A English -U ..1000 *** player"));
    EXPECT_TRUE(run.Has("larkgame: working directory " + world->root + "Bin"));
    std::string log = world->Read("PatchClient/BankB/LarkLauncher.Log.txt");
    EXPECT_NE(log.find("Launching game client."), std::string::npos);
    EXPECT_EQ(log.find("signal"), std::string::npos) << log;
    EXPECT_EQ(world->Read("PatchClient/BankB/LauncherNotes.txt"), "launcher v1\n");
    EXPECT_EQ(world->Read("Readme.txt"), "Larkspur\n");
}

TEST_F(TerminalEndToEnd, AWrongPasswordShowsTheErrorPageAndThePromptAgain) {
    world->InstallLauncher("BankA", "launcher v1\n");
    int input = -1;
    pid_t runner = world->Launch("BankA", {"-r"}, "a\nplayer\nwrong\n", &input);
    ASSERT_GT(runner, 0);
    bool askedAgain = WaitForLines("Username...", 2);
    ::close(input);
    DriverRun run;
    EXPECT_TRUE(world->WaitChain(runner, run, 60000));
    SCOPED_TRACE(Dump(run));
    EXPECT_TRUE(askedAgain);
    EXPECT_TRUE(HasPrefix(run, "Page: http://127.0.0.1/1"));
    EXPECT_FALSE(HasPrefix(run, "PLAY!"));
    EXPECT_EQ(world->Read("Readme.txt"), "");
}

class SilentGame : public LauncherEndToEnd {
protected:
    SilentGame() : LauncherEndToEnd(60) {}
};

TEST_F(SilentGame, TheLauncherStopsWaitingAfterTenSeconds) {
    world->InstallLauncher("BankA", "launcher v1\n");
    uint64_t start = HY_OS::GetMonotonicMs();
    pid_t runner = world->Launch("BankA", {"-r"}, "player\nswordfish\n\n");
    ASSERT_GT(runner, 0);
    // The launcher ends on its own while the game still runs; the runner then waits for the
    // game, which the test ends once the launcher's window has closed.
    std::string gamePid;
    bool closed = false;
    while (HY_OS::GetMonotonicMs() - start < 60000 && !closed) {
        for (const std::string& line : world->OutputLines()) closed = closed || line == "BankA: window-closed";
        HY_OS::SleepMs(20);
    }
    gamePid = world->Read("game-pid.txt");
    ASSERT_TRUE(closed);
    ASSERT_FALSE(gamePid.empty());
    EXPECT_EQ(::kill(std::atoi(gamePid.c_str()), 0), 0) << "the game should still run";
    std::string log = world->Read("PatchClient/BankA/LarkLauncher.Log.txt");
    EXPECT_NE(log.find("The game did not signal its start within 10000 ms."), std::string::npos);
    ::kill(std::atoi(gamePid.c_str()), SIGKILL);
    DriverRun run;
    EXPECT_TRUE(world->WaitChain(runner, run, 30000));
}

}  // namespace
