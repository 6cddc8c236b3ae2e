// A patch client in this process, driven step by step against larkserver: one ET_UserStopped for
// a stop during the sign-in, one queued behind the lead copy, and one during each patch; the
// operating-system check; a free-to-play-capped sign-in.
#include <cstdlib>

#include <gtest/gtest.h>

#include "HYThread.h"
#include "LogCapture.h"
#include "OsFile.h"
#include "PatchClient.h"
#include "PatchClientConfig.h"
#include "WorkerPump.h"
#include "patchclient_test_support.h"

using pctest::GameWorld;

namespace {

class StepClient : public PatchClient {
public:
    using PatchClient::PatchClient;
    int userStopped = 0;
    int errorCode = -1;
    bool completed = false;
    int osCode = 0;
    bool stopInCopy = false;
    bool Ended() const { return userStopped > 0 || errorCode >= 0 || completed; }

protected:
    void OnPCUserStopped() override { ++userStopped; }
    void OnPCErrorStopped(int code, const std::string&) override { errorCode = code; }
    void OnPCCompleted(const std::string&, const std::string&, const std::string&, const std::string&,
                       const std::string&, uint64_t, const std::string&, const std::string&) override {
        completed = true;
    }
    int VerifyOS() override { return osCode; }
    void OnPCStateChange(int state) override {
        // The window's Stop arriving while the copy runs (the copy blocks the thread it runs on).
        if (state == ST_LeadCopying && stopInCopy) Stop();
    }
};

struct InProcess {
    explicit InProcess(GameWorld& world) { world.PrepareInProcess(config, "launcher v1\n"); }
    PatchClientConfig config;
};

// Runs the client until `stopWhen` holds between two loop passes, stops it there, and runs it to
// its end.
void StopWhen(GameWorld& world, const std::string& account, const std::function<bool(StepClient&)>& stopWhen,
              StepClient** seen = nullptr) {
    InProcess setup(world);
    hytest::ScopedLogCapture log;
    hytest::RunOnWorker([&] {
        StepClient client(world.root + "PatchClient/BankA/patchclient_driver");
        ASSERT_TRUE(client.Initialize(&setup.config, false, false, false, true));
        ASSERT_TRUE(client.Start(account, "swordfish"));
        ASSERT_TRUE(hytest::PumpUntil([&] { return stopWhen(client) || client.Ended(); }, 30000));
        ASSERT_FALSE(client.Ended()) << "the run ended before the stop";
        client.Stop();
        ASSERT_TRUE(hytest::PumpUntil([&] { return client.Ended(); }, 30000));
        hytest::PumpFor(200);
        EXPECT_EQ(client.userStopped, 1);
        EXPECT_EQ(client.errorCode, -1);
        EXPECT_FALSE(client.completed);
        EXPECT_EQ(client.GetState(), ST_Ready);
    });
    EXPECT_EQ(log->Count("Event: ET_UserStopped"), 1);
}

}  // namespace

TEST(PatchClientStop, DuringSignIn) {
    GameWorld world;
    world.AddAccount("silent", {"--outcome", "silent"});
    world.StartServers();
    StopWhen(world, "silent", [](StepClient& c) { return c.GetState() == ST_VerifyingUser; });
}

TEST(PatchClientStop, QueuedBehindTheLeadCopy) {
    GameWorld world;
    StopWhen(world, "player", [](StepClient& c) { return c.GetState() == ST_LeadCopying; });
    // The copy finished, but no lead patch started after the stop.
    EXPECT_TRUE(HY_OS::FileExists(world.root + "PatchClient/BankB/LauncherNotes.txt"));
}

TEST(PatchClientStop, DuringTheLeadPatch) {
    GameWorld world;
    StopWhen(world, "player", [](StepClient& c) { return c.GetState() == ST_LeadPatching; });
}

TEST(PatchClientStop, DuringTheGamePatch) {
    GameWorld world;
    StopWhen(world, "player", [](StepClient& c) { return c.GetState() == ST_GamePatching; });
}

TEST(PatchClientRunInProcess, UnsupportedSystemAndFreeToPlayCap) {
    GameWorld world;
    world.AddAccount("capped", {"--outcome", "ftp-capped"});
    world.StartServers();
    InProcess setup(world);
    hytest::ScopedLogCapture log;
    hytest::RunOnWorker([&] {
        StepClient client(world.root + "PatchClient/BankA/patchclient_driver");
        ASSERT_TRUE(client.Initialize(&setup.config, false, false, false, true));
        // The system check refuses the game patch with its own code.
        client.osCode = PCE_UnsupportedOS;
        ASSERT_TRUE(client.Start("player", "swordfish"));
        ASSERT_TRUE(hytest::PumpUntil([&] { return client.Ended(); }, 30000));
        EXPECT_EQ(client.errorCode, 150);
        EXPECT_EQ(client.GetState(), ST_Ready);

        // A capped sign-in patches the game, then ends with page 132 instead of offering to play.
        client.osCode = 0;
        client.errorCode = -1;
        ASSERT_TRUE(client.Start("capped", "swordfish"));
        ASSERT_TRUE(hytest::PumpUntil([&] { return client.Ended(); }, 30000));
        EXPECT_EQ(client.errorCode, 132);
        EXPECT_FALSE(client.completed);
        EXPECT_TRUE(client.IsFreeToPlayCapped());
    });
    EXPECT_EQ(log->Count("Unsupported OS"), 1);
    EXPECT_EQ(log->Count("Too many free players"), 1);
    EXPECT_EQ(log->Count("Game patched successful"), 1);
}

TEST(PatchClientStop, DuringTheLeadCopyStartsNoLeadPatch) {
    GameWorld world;
    InProcess setup(world);
    hytest::ScopedLogCapture log;
    hytest::RunOnWorker([&] {
        StepClient client(world.root + "PatchClient/BankA/patchclient_driver");
        ASSERT_TRUE(client.Initialize(&setup.config, false, false, false, true));
        client.stopInCopy = true;
        ASSERT_TRUE(client.Start("player", "swordfish"));
        ASSERT_TRUE(hytest::PumpUntil([&] { return client.Ended(); }, 30000));
        hytest::PumpFor(300);
        EXPECT_EQ(client.userStopped, 1);
        EXPECT_EQ(client.GetState(), ST_Ready);

        // The same client without the stop goes on from the copy to the lead patch.
        client.stopInCopy = false;
        client.userStopped = 0;
        ASSERT_TRUE(client.Start("player", "swordfish"));
        ASSERT_TRUE(hytest::PumpUntil([&] { return client.Ended(); }, 30000));
        EXPECT_TRUE(client.completed);
    });
    EXPECT_EQ(log->Count("Event: ET_UserStopped"), 1);
    EXPECT_EQ(log->Count("Lead patch the patch client."), 1);
    EXPECT_EQ(log->Count("Event: ET_LeadCopied"), 1);
}
