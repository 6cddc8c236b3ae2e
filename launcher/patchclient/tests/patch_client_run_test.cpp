// Whole launcher runs of the headless driver against larkserver (login and patch roles) serving a
// repository published by larkpublish: the first run with its relaunch from the other bank, a
// lead patch that changes nothing, the -1 and -2 options, and sign-in failures.
#include <gtest/gtest.h>

#include "OsFile.h"
#include "patchclient_test_support.h"

using pctest::DriverRun;
using pctest::GameWorld;

namespace {

const std::string kCredentials = "player\nswordfish\n";

std::string Dump(const DriverRun& run) {
    std::string text;
    for (const std::string& line : run.lines) text += line + "\n";
    return text;
}

void ExpectGameInstalled(const GameWorld& world) {
    EXPECT_EQ(world.Read("Readme.txt"), "Larkspur\n");
    EXPECT_EQ(world.Read("Bin/GameClient.txt"), std::string(3000, 'g'));
    EXPECT_EQ(world.Read("Data/Strings.txt"), "strings v1\n");
}

}  // namespace

TEST(PatchClientRun, FirstRunRelaunchesFromTheOtherBankAndPatchesTheGame) {
    GameWorld world;
    world.InstallLauncher("BankA", "launcher v0\n");
    DriverRun run = world.Run("BankA", {"-r"}, kCredentials);
    SCOPED_TRACE(Dump(run));
    EXPECT_EQ(run.firstExit, 3);
    EXPECT_EQ(run.lastExit, 0);

    // The first launcher signs in, copies itself into BankB, patches that copy and hands over.
    const std::string bankB = world.root + "PatchClient/BankB/";
    int verifying = run.IndexOf("BankA: state ST_VerifyingUser");
    int copying = run.IndexOf("BankA: state ST_LeadCopying");
    int patching = run.IndexOf("BankA: state ST_LeadPatching");
    int restart = run.IndexOf("BankA: need-restart " + bankB);
    ASSERT_GE(verifying, 0);
    EXPECT_LT(verifying, copying);
    EXPECT_LT(copying, patching);
    EXPECT_LT(patching, restart);
    EXPECT_TRUE(run.Has("BankA: patching-state 8"));
    EXPECT_TRUE(run.Has("BankA: post-quit"));
    EXPECT_FALSE(run.Has("BankA: state ST_GamePatching"));

    // The new launcher signs in with the pass key, copies its bank back over BankA, finds the
    // launcher current there and patches the game.
    EXPECT_TRUE(run.Has("BankB: state ST_VerifyingUser"));
    EXPECT_TRUE(run.Has("BankB: state ST_LeadCopying"));
    EXPECT_TRUE(run.Has("BankB: state ST_LeadPatching"));
    EXPECT_EQ(run.Count("BankB: need-restart " + world.root + "PatchClient/BankA/"), 0u);
    EXPECT_TRUE(run.Has("BankB: state ST_GamePatching"));
    EXPECT_TRUE(run.Has("BankB: completed " + world.root + " " + world.root + "Bin/ LarkGame"));

    EXPECT_EQ(world.Read("PatchClient/BankB/LauncherNotes.txt"), "launcher v1\n");
    EXPECT_EQ(world.Read("PatchClient/BankA/LauncherNotes.txt"), "launcher v1\n");
    ExpectGameInstalled(world);
    EXPECT_EQ(world.Read("AppStart.dat"), "./PatchClient/BankB/patchclient_driver -r");
    EXPECT_EQ(world.AppStartRegistryValue(), "./PatchClient/BankB/patchclient_driver -r");

    // The old launcher's log shows the relaunch with the pass key masked and the session id left out.
    std::string log = world.Read("PatchClient/BankA/LarkLauncher.Log.txt");
    EXPECT_NE(log.find(bankB + "patchclient_driver -r -u:1000 -p:*** -n:player"), std::string::npos) << log;
    EXPECT_EQ(log.find("-j:"), std::string::npos);
    for (size_t at = log.find("-p:"); at != std::string::npos; at = log.find("-p:", at + 1))
        EXPECT_EQ(log.compare(at, 6, "-p:***"), 0);
    EXPECT_NE(world.Read("PatchClient/BankB/LarkLauncher.Log.txt").find("ValidateUser"), std::string::npos);
}

TEST(PatchClientRun, UnchangedLeadPatchGoesOnToTheGameInTheSameProcess) {
    GameWorld world;
    world.InstallLauncher("BankA", "launcher v1\n");
    DriverRun run = world.Run("BankA", {"-r"}, kCredentials);
    SCOPED_TRACE(Dump(run));
    EXPECT_EQ(run.firstExit, 0);
    EXPECT_TRUE(run.Has("BankA: state ST_LeadPatching"));
    EXPECT_TRUE(run.Has("BankA: prepare-game-patch"));
    EXPECT_TRUE(run.Has("BankA: state ST_GamePatching"));
    EXPECT_TRUE(run.Has("BankA: game-patched"));
    EXPECT_LT(run.IndexOf("BankA: game-patched"), run.IndexOf("BankA: state ST_Completed"));
    EXPECT_EQ(run.Count("BankA: need-restart " + world.root + "PatchClient/BankB/"), 0u);
    EXPECT_EQ(world.Read("PatchClient/BankB/LauncherNotes.txt"), "launcher v1\n");
    ExpectGameInstalled(world);
    // No relaunch: the AppStart information is not touched by a free account started without -s.
    EXPECT_FALSE(HY_OS::FileExists(world.root + "AppStart.dat"));
}

TEST(PatchClientRun, OptionOneKeepsThePatchedLeadAndRecordsPayingAccount) {
    GameWorld world;
    world.AddAccount("payer", {"--paying", "1"});
    world.StartServers();
    world.InstallLauncher("BankA", "launcher v0\n");
    DriverRun run = world.Run("BankA", {"-r", "-1"}, "payer\nswordfish\n");
    SCOPED_TRACE(Dump(run));
    EXPECT_EQ(run.firstExit, 0);
    // The lead patch changed BankB, and the game patch follows without a relaunch.
    EXPECT_EQ(world.Read("PatchClient/BankB/LauncherNotes.txt"), "launcher v1\n");
    EXPECT_EQ(run.Count("BankA: need-restart " + world.root + "PatchClient/BankB/"), 0u);
    EXPECT_TRUE(run.Has("BankA: state ST_GamePatching"));
    ExpectGameInstalled(world);
    // Started without -s, the paying account has its bank's AppStart text rewritten.
    EXPECT_EQ(world.Read("AppStart.dat"), "./PatchClient/BankA/patchclient_driver -r -1 -s");
    EXPECT_EQ(world.AppStartRegistryValue(), "./PatchClient/BankA/patchclient_driver -r -1 -s");
}

TEST(PatchClientRun, OptionTwoRelaunchesRightAfterSignIn) {
    GameWorld world;
    world.InstallLauncher("BankA", "launcher v1\n");
    world.InstallLauncher("BankB", "launcher v1\n");
    DriverRun run = world.Run("BankA", {"-r", "-2"}, kCredentials);
    SCOPED_TRACE(Dump(run));
    EXPECT_EQ(run.firstExit, 3);
    EXPECT_EQ(run.lastExit, 0);
    EXPECT_TRUE(run.Has("BankA: need-restart " + world.root + "PatchClient/BankB/"));
    EXPECT_FALSE(run.Has("BankA: state ST_LeadCopying"));
    EXPECT_FALSE(run.Has("BankA: state ST_LeadPatching"));
    EXPECT_TRUE(run.Has("BankB: state ST_LeadCopying"));
    EXPECT_TRUE(run.Has("BankB: state ST_GamePatching"));
    EXPECT_TRUE(run.Has("BankB: state ST_Completed"));
    ExpectGameInstalled(world);
    EXPECT_EQ(world.Read("AppStart.dat"), "./PatchClient/BankB/patchclient_driver -r");

    // Without a launcher in the other bank the relaunch fails with page 103 and the AppStart
    // information stays as it was.
    HY_OS::DeleteFile(world.root + "PatchClient/BankB/patchclient_driver");
    run = world.Run("BankA", {"-r", "-2"}, kCredentials);
    SCOPED_TRACE(Dump(run));
    EXPECT_TRUE(run.Has("BankA: display-error 103"));
    EXPECT_TRUE(run.Has("BankA: post-quit"));
    EXPECT_EQ(run.firstExit, 2);
    EXPECT_EQ(world.Read("AppStart.dat"), "./PatchClient/BankB/patchclient_driver -r");
    EXPECT_NE(world.Read("PatchClient/BankA/LarkLauncher.Log.txt").find("Fail to start Patch Client process"),
              std::string::npos);
}

TEST(PatchClientRun, StartUpRefusals) {
    GameWorld world;
    world.InstallLauncher("BankA", "launcher v1\n");
    // Without -r: page 100 and no server is contacted.
    DriverRun run = world.Run("BankA", {}, kCredentials);
    EXPECT_TRUE(run.Has("BankA: display-error 100")) << Dump(run);
    EXPECT_FALSE(run.Has("BankA: state ST_VerifyingUser"));
    // A launcher outside a bank folder (any letter case of BankA/BankB is one): page 101.
    world.InstallLauncher("Elsewhere", "launcher v1\n");
    run = world.Run("Elsewhere", {"-r"}, kCredentials);
    EXPECT_TRUE(run.Has("Elsewhere: display-error 101")) << Dump(run);
    world.InstallLauncher("banka", "launcher v1\n");
    run = world.Run("banka", {"-r"}, kCredentials);
    EXPECT_TRUE(run.Has("banka: state ST_VerifyingUser")) << Dump(run);
    // An empty password: page 110 without a sign-in.
    run = world.Run("BankA", {"-r"}, "player\n\n");
    EXPECT_TRUE(run.Has("BankA: error-stopped 110")) << Dump(run);
    EXPECT_FALSE(run.Has("BankA: state ST_VerifyingUser"));
}

TEST(PatchClientRun, SignInFailuresStopWithTheirPagesAndLeaveTheBankAlone) {
    GameWorld world;
    const std::pair<const char*, int> outcomes[] = {
        {"banned", 130},       {"machine-banned", 133}, {"no-login", 142}, {"auth-down", 129},
        {"auth-banned", 136},  {"quarantined", 137},    {"mismatch", 149}, {"close", 109},
    };
    for (const auto& [outcome, code] : outcomes) world.AddAccount(outcome, {"--outcome", outcome});
    world.StartServers();
    world.InstallLauncher("BankA", "launcher v0\n");
    for (const auto& [outcome, code] : outcomes) {
        DriverRun run = world.Run("BankA", {"-r"}, std::string(outcome) + "\nswordfish\n");
        EXPECT_TRUE(run.Has("BankA: error-stopped " + std::to_string(code))) << outcome << "\n" << Dump(run);
        EXPECT_FALSE(run.Has("BankA: state ST_LeadCopying")) << outcome;
    }
    // A wrong password and, for a relaunch, a pass key the server does not know.
    DriverRun run = world.Run("BankA", {"-r"}, "player\nwrong\n");
    EXPECT_TRUE(run.Has("BankA: error-stopped 110")) << Dump(run);
    run = world.Run("BankA", {"-r", "-u:1000", "-p:bogus", "-n:player"}, "");
    EXPECT_TRUE(run.Has("BankA: state ST_VerifyingUser")) << Dump(run);
    EXPECT_TRUE(run.Has("BankA: error-stopped 111")) << Dump(run);
    // A login server that is gone.
    world.StopServers();
    run = world.Run("BankA", {"-r"}, kCredentials);
    EXPECT_EQ(run.firstExit, 1) << Dump(run);
    EXPECT_FALSE(HY_OS::FileExists(world.root + "PatchClient/BankB"));
    EXPECT_EQ(world.Read("PatchClient/BankA/LauncherNotes.txt"), "launcher v0\n");
}
