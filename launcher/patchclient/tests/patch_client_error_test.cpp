// Runs that fail: the lead copy (full disk, a read-only or held target), patches that cannot
// start or fail, a sign-in that cannot start, and the AppStart information that cannot be
// written. Each ends with its error page and a log line, and leaves the running bank untouched.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>

#include <gtest/gtest.h>

#include "FileCopyCalls.h"
#include "LogCapture.h"
#include "OsFile.h"
#include "OsSysCalls.h"
#include "PatchClient.h"
#include "PatchClientBC.h"
#include "PatchClientConfig.h"
#include "WorkerPump.h"
#include "patchclient_test_support.h"

using pctest::GameWorld;

namespace {

class ErrorClient : public PatchClientBC {
public:
    using PatchClientBC::PatchClientBC;
    int errorCode = -1;
    std::vector<int> displayed;
    bool completed = false;
    std::string registryPath;
    bool Ended() const { return errorCode >= 0 || completed; }

protected:
    void OnPCErrorStopped(int code, const std::string&) override { errorCode = code; }
    void OnPCCompleted(const std::string&, const std::string&, const std::string&, const std::string&,
                       const std::string&, uint64_t, const std::string&, const std::string&) override {
        completed = true;
    }
    void OnDisplayErrorMessage(int code) override { displayed.push_back(code); }
    std::string RegistryStorePath() const override {
        return registryPath.empty() ? PatchClientBC::RegistryStorePath() : registryPath;
    }
};

class NoSpace : public HY_OS::OsSysCalls {
public:
    int64_t FreeDiskSpace(const std::string&) override { return 10; }
};

class CopyFailing : public FileCopyCalls {
public:
    explicit CopyFailing(uint32_t error) : m_error(error) {}
    uint32_t CopyFile(const std::string&, const std::string&) override { return m_error; }
    void SleepMs(uint32_t ms) override { sleptMs += ms; }
    uint32_t sleptMs = 0;

private:
    uint32_t m_error;
};

struct RunSetup {
    explicit RunSetup(GameWorld& world, const std::string& notes = "launcher v0\n") {
        world.PrepareInProcess(config, notes);
    }
    PatchClientConfig config;
};

// Signs in as "player" and runs to the end; answers the error page (-1 when it completed).
int RunToEnd(GameWorld& world, RunSetup& setup, const std::function<void(ErrorClient&)>& prepare = {}) {
    int code = -2;
    hytest::RunOnWorker([&] {
        ErrorClient client(world.root + "PatchClient/BankA/patchclient_driver");
        ASSERT_TRUE(client.Initialize(&setup.config, false, true, false, true));
        if (prepare) prepare(client);
        ASSERT_TRUE(client.Start("player", "swordfish"));
        ASSERT_TRUE(hytest::PumpUntil([&] { return client.Ended(); }, 30000));
        hytest::PumpFor(50);
        code = client.errorCode;
        EXPECT_EQ(client.GetState(), client.completed ? ST_Completed : ST_Ready);
    });
    return code;
}

std::string BankA(const GameWorld& world) { return world.Read("PatchClient/BankA/LauncherNotes.txt"); }

}  // namespace

TEST(PatchClientErrors, LeadCopyFailuresHaveTheirPagesAndLeaveTheRunningBankAlone) {
    GameWorld world;
    RunSetup setup(world);
    hytest::ScopedLogCapture log;
    {
        NoSpace disk;
        HY_OS::ScopedSysCalls scoped(disk);
        EXPECT_EQ(RunToEnd(world, setup), 112);
    }
    EXPECT_EQ(log->Count("Fail to lead copy: ERROR_OUTOFMEMORY/DISK."), 1);
    EXPECT_FALSE(HY_OS::FileExists(world.root + "PatchClient/BankB/patchclient_driver"));
    {
        CopyFailing held(32);
        ScopedFileCopyCalls scoped(held);
        EXPECT_EQ(RunToEnd(world, setup), 115);
        EXPECT_EQ(held.sleptMs, 10000u);
    }
    EXPECT_EQ(log->Count("Fail to lead copy: ERROR_SHARING_VIOLATION."), 1);
    {
        CopyFailing other(SE_CannotCopy);
        ScopedFileCopyCalls scoped(other);
        EXPECT_EQ(RunToEnd(world, setup), 114);
    }
    {
        // A read-only other bank; the superuser is not stopped by the folder's mode, so for it the
        // copy seam answers what the system answers everybody else.
        std::string bankB = world.root + "PatchClient/BankB";
        HY_OS::CreateDirectories(bankB);
        ::chmod(bankB.c_str(), 0555);
        CopyFailing denied(SystemErrorFromErrno(EACCES));
        FileCopyCalls real;
        ScopedFileCopyCalls scoped(::geteuid() == 0 ? static_cast<FileCopyCalls&>(denied) : real);
        EXPECT_EQ(RunToEnd(world, setup), 113);
        ::chmod(bankB.c_str(), 0755);
    }
    EXPECT_EQ(log->Count("Fail to lead copy: ERROR_ACCESS_DENIED"), 1);
    EXPECT_EQ(log->Count("Fail to lead copy"), 4);
    EXPECT_EQ(BankA(world), "launcher v0\n");

    // The same run with room and nothing held copies, patches and completes.
    EXPECT_EQ(RunToEnd(world, setup), -1);
    EXPECT_EQ(world.Read("PatchClient/BankB/LauncherNotes.txt"), "launcher v1\n");
    EXPECT_EQ(BankA(world), "launcher v0\n");
}

TEST(PatchClientErrors, PatchesThatCannotStartOrFail) {
    GameWorld world;
    RunSetup setup(world, "launcher v1\n");
    hytest::ScopedLogCapture log;
    // The patch-information folder cannot be made: the lead patch cannot start.
    ASSERT_TRUE(HY_OS::WriteFileAtomic(world.root + "PatchInfo", "a file in the way"));
    EXPECT_EQ(RunToEnd(world, setup), 117);
    EXPECT_EQ(log->Count("Fail to initialize lead patch."), 1);
    HY_OS::DeleteFile(world.root + "PatchInfo");

    // No patch server: the lead patch fails to connect.
    uint16_t port = setup.config.PatchServerPort;
    world.StopServers();
    world.StartServers();
    setup.config.LoginPort = world.loginPort;
    setup.config.PatchServerPort = port;  // the old patch port: nobody listens there now
    EXPECT_EQ(RunToEnd(world, setup), 119);
    EXPECT_EQ(log->Count("Lead patching failed"), 1);
    setup.config.PatchServerPort = world.patchPort;

    // The repository lost the game's files: the game patch fails its downloads.
    ASSERT_EQ(std::system(("find '" + world.repository + "' -type f ! -name 'repository.txt' ! -path '*/lists/*' -delete").c_str()), 0);
    EXPECT_EQ(RunToEnd(world, setup), 123);
    EXPECT_EQ(log->Count("Game patching failed"), 1);
    EXPECT_EQ(BankA(world), "launcher v1\n");
}

TEST(PatchClientErrors, SignInThatCannotStart) {
    GameWorld world;
    RunSetup setup(world);
    setup.config.LoginHostname = "host.invalid";
    hytest::ScopedLogCapture log;
    // The name cannot be resolved, so no sign-in starts: with a password 148, with a pass key 147.
    EXPECT_EQ(RunToEnd(world, setup), 148);
    hytest::RunOnWorker([&] {
        ErrorClient client(world.root + "PatchClient/BankA/patchclient_driver");
        ASSERT_TRUE(client.Initialize(&setup.config, false, false, false, true));
        ASSERT_TRUE(client.Start(1000, "0123456789abcdef", "player"));
        ASSERT_TRUE(hytest::PumpUntil([&] { return client.Ended(); }, 30000));
        EXPECT_EQ(client.errorCode, 147);
    });
    EXPECT_FALSE(HY_OS::FileExists(world.root + "PatchClient/BankB"));
}

TEST(PatchClientErrors, AppStartInformationThatCannotBeWritten) {
    GameWorld world;
    RunSetup setup(world);
    hytest::ScopedLogCapture log;
    hytest::RunOnWorker([&] {
        ErrorClient client(world.root + "PatchClient/BankA/patchclient_driver");
        LaunchOptions options;
        options.runFlag = true;
        options.noRestartAfterLeadPatch = true;
        PatchClientConfig::Get()->LoginPort = world.loginPort;
        client.InitializePatchClient("AppStart", options);
        ASSERT_EQ(client.GetState(), ST_Ready);
        const std::string text = client.AppStartText(client.RunningBankDirectory());
        EXPECT_EQ(text, "./PatchClient/BankA/patchclient_driver -r -1");

        // Both places writable: both hold the text.
        client.RewriteAppStartInfo();
        EXPECT_EQ(world.Read("AppStart.dat"), text);
        EXPECT_EQ(world.AppStartRegistryValue(), text);
        EXPECT_TRUE(client.displayed.empty());

        // The registry alone fails: logged, no page.
        ASSERT_TRUE(HY_OS::WriteFileAtomic(world.root + "blocker", "x"));
        client.registryPath = world.root + "blocker/store.txt";
        client.RewriteAppStartInfo();
        EXPECT_EQ(log->Count("Fail to write AppStart info to the registry."), 1);
        EXPECT_TRUE(client.displayed.empty());

        // Both fail: page 104.
        HY_OS::DeleteFile(world.root + "AppStart.dat");
        HY_OS::CreateDirectories(world.root + "AppStart.dat/");
        client.RewriteAppStartInfo();
        EXPECT_EQ(log->Count("Fail to write StarterApp file."), 1);
        EXPECT_EQ(log->Count("Fail to set AppStart configuration."), 1);
        EXPECT_EQ(client.displayed, std::vector<int>{104});
    });
}

// The bank and the game root come from the program's own path, which a Windows program gets with
// backslashes; a path outside a bank directory is refused either way.
TEST(PatchClientPaths, TheBankAndRootComeFromPosixAndWindowsProgramPaths) {
    hytest::RunOnWorker([&] {
        PatchClient windows("Z:\\games\\Larkspur\\PatchClient\\BankB\\LarkLauncher.exe");
        ASSERT_TRUE(windows.Initialize(nullptr, false, false, false, true));
        EXPECT_EQ(windows.RunningBank(), 1);
        EXPECT_EQ(windows.Root(), "Z:\\games\\Larkspur\\");
        PatchClient posix("/games/Larkspur/PatchClient/BankA/LarkLauncher");
        ASSERT_TRUE(posix.Initialize(nullptr, false, false, false, true));
        EXPECT_EQ(posix.RunningBank(), 0);
        EXPECT_EQ(posix.Root(), "/games/Larkspur/");
        PatchClient outside("Z:\\LarkLauncher.exe");
        EXPECT_FALSE(outside.Initialize(nullptr, false, false, false, true));
    });
}
