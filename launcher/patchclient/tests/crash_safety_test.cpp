// Runs killed at random moments of the copy and the patches, each followed by a run that must
// complete; and a large game patch killed halfway that the next run resumes.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "Crc.h"
#include "CrcCache.h"
#include "OsFile.h"
#include "OsFileInfo.h"
#include "OsTime.h"
#include "patchclient_test_support.h"

using pctest::DriverRun;
using pctest::GameWorld;

namespace {

const std::string kCredentials = "player\nswordfish\n";
const std::string kNotes = "launcher v1\n";

// The bank the AppStart information names; BankA before any was written.
std::string AppStartBank(const GameWorld& world) {
    std::string text = world.Read("AppStart.dat");
    const std::string prefix = "./PatchClient/";
    if (text.compare(0, prefix.size(), prefix) != 0) return "BankA";
    return text.substr(prefix.size(), 5);
}

uint32_t CrcOf(const std::string& bytes) { return CrcUpdate(0, bytes.data(), bytes.size()); }

// Every cache entry that would vouch for a file on disk (same size and last-write time) must
// carry that file's CRC.
void ExpectCacheHonest(const GameWorld& world, const std::string& package, const std::string& installDirectory,
                       const std::vector<std::string>& files, const std::string& when) {
    CrcCache cache;
    cache.LoadCacheFile(package, world.root + "PatchInfo/");
    for (const std::string& file : files) {
        HY_OS::FileInfo info;
        if (!HY_OS::GetFileInfo(installDirectory + file, info)) continue;
        std::string bytes;
        HY_OS::ReadWholeFile(installDirectory + file, bytes);
        for (size_t i = 0; i < cache.Remaining(); ++i) {
            const CrcCacheEntry& entry = cache.At(i);
            if (entry.size == static_cast<uint32_t>(info.size) &&
                entry.lastWriteMs == static_cast<uint64_t>(info.lastWriteMs)) {
                EXPECT_EQ(entry.crc, CrcOf(bytes)) << when << ": the cache vouches for a changed " << installDirectory + file;
            }
        }
    }
}

void ExpectInstalled(const GameWorld& world, const std::string& when) {
    for (const auto& [path, content] : world.game)
        EXPECT_EQ(world.Read(path), content) << when << ": " << path;
    // The last run lead-patched the bank beside the one it ran from, which AppStart names. (A run
    // killed between its lead patch and the relaunch leaves the newer launcher there unused: the
    // next run finds it current and does not relaunch.)
    std::string other = AppStartBank(world) == "BankA" ? "BankB" : "BankA";
    EXPECT_EQ(world.Read("PatchClient/" + other + "/LauncherNotes.txt"), kNotes) << when;
}

// Undoes part of the installation so that the next run has work to do: an old launcher in
// both banks (as after an installation from old media: the next run relaunches), a damaged or
// missing game file.
void Damage(GameWorld& world, std::mt19937& random) {
    if (random() % 2 == 0) {
        for (const char* bank : {"BankA", "BankB"}) {
            std::string notes = world.root + "PatchClient/" + bank + "/LauncherNotes.txt";
            if (!HY_OS::FileExists(notes)) continue;
            HY_OS::WriteFileAtomic(notes, "launcher v0\n");
            HY_OS::SetLastWriteTimeMs(notes, 1000000000000);
        }
    }
    for (const auto& [path, content] : world.game) {
        switch (random() % 4) {
            case 0: HY_OS::DeleteFile(world.root + path); break;
            case 1: HY_OS::WriteFileAtomic(world.root + path, std::string(content.size(), 'x')); break;
            default: break;
        }
    }
}

// How many steps of the copy and the patches the driver lines report.
size_t WorkSteps(const std::vector<std::string>& lines) {
    size_t steps = 0;
    for (const std::string& line : lines) {
        steps += line.find(": state ST_Lead") != std::string::npos || line.find(": state ST_Game") != std::string::npos ||
                 line.find(": file-progress ") != std::string::npos || line.find(": need-restart ") != std::string::npos;
    }
    return steps;
}

}  // namespace

TEST(PatchClientCrashSafety, KilledRunsAlwaysLeaveAStartableBankAndTheNextRunCompletes) {
    uint32_t seed = 20261209;
    if (const char* text = std::getenv("HY_CRASH_SEED")) seed = static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
    int iterations = 100;
    if (const char* text = std::getenv("HY_CRASH_ITERATIONS")) iterations = std::atoi(text);
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));

    GameWorld world;
    world.InstallLauncher("BankA", "launcher v0\n");
    // A complete first run measures how long the kills may wait.
    uint64_t start = HY_OS::GetMonotonicMs();
    DriverRun first = world.Run("BankA", {"-r"}, kCredentials);
    uint64_t span = HY_OS::GetMonotonicMs() - start;
    ASSERT_EQ(first.lastExit, 0);
    ExpectInstalled(world, "first run");

    const std::vector<std::string> launcherFiles = {"LauncherNotes.txt"};
    std::vector<std::string> gameFiles;
    for (const auto& [path, content] : world.game) gameFiles.push_back(path);
    int killedMidRun = 0;
    for (int i = 0; i < iterations; ++i) {
        const std::string when = "iteration " + std::to_string(i);
        Damage(world, random);
        pid_t runner = world.Launch(AppStartBank(world), {"-r"}, kCredentials);
        ASSERT_GT(runner, 0);
        // The kill follows the k-th step of the copy or a patch that the driver reports, after a
        // further random pause, so that it lands inside the work rather than before or after it.
        size_t step = 1 + random() % 12;
        uint32_t pause = static_cast<uint32_t>(random() % 15);
        uint64_t waitStart = HY_OS::GetMonotonicMs();
        while (WorkSteps(world.OutputLines()) < step && HY_OS::GetMonotonicMs() - waitStart < span * 2)
            HY_OS::SleepMs(1);
        HY_OS::SleepMs(pause);
        world.KillChain(runner);
        std::vector<std::string> lines = world.OutputLines();
        bool finished = false;
        for (const std::string& line : lines) finished |= line.find(": completed ") != std::string::npos;
        killedMidRun += !finished;

        // Whatever the moment, nothing on disk is vouched for by a cache entry it does not match.
        ExpectCacheHonest(world, "Base", world.root, gameFiles, when);
        ExpectCacheHonest(world, "PatchClient", world.root + "PatchClient/BankA/", launcherFiles, when);
        ExpectCacheHonest(world, "PatchClient", world.root + "PatchClient/BankB/", launcherFiles, when);

        // The bank the AppStart information names starts and completes the installation.
        std::string bank = AppStartBank(world);
        std::string program = world.root + "PatchClient/" + bank + "/patchclient_driver";
        ASSERT_TRUE(HY_OS::FileExists(program)) << when;
        DriverRun next = world.Run(bank, {"-r"}, kCredentials);
        ASSERT_EQ(next.lastExit, 0) << when << " from " << bank << "\n" << [&] {
            std::string text;
            for (const std::string& line : next.lines) text += line + "\n";
            return text;
        }();
        ExpectInstalled(world, when);
        if (HasFatalFailure()) return;
    }
    std::printf("crash safety: seed %u, %d iterations, %d kills inside a run\n", seed, iterations, killedMidRun);
    // The kills did land in the middle of runs.
    EXPECT_GT(killedMidRun, iterations / 3);
}

TEST(PatchClientCrashSafety, KilledGamePatchResumesWithWhatWasMissingPlusOneFile) {
    // 8 files of 4 MiB: 32 MiB of game data.
    constexpr size_t kFileSize = 4u << 20;
    std::map<std::string, std::string> big;
    std::mt19937 random(7);
    for (int i = 0; i < 8; ++i) {
        std::string content(kFileSize, '\0');
        for (size_t j = 0; j < content.size(); j += 4096) content[j] = static_cast<char>(random());
        big["Data/Big" + std::to_string(i) + ".bin"] = std::move(content);
    }
    GameWorld world(big);
    world.InstallLauncher("BankA", kNotes);

    pid_t runner = world.Launch("BankA", {"-r"}, kCredentials);
    ASSERT_GT(runner, 0);
    // Kill once about half of the large files are in place.
    auto installed = [&] {
        int count = 0;
        for (const auto& [path, content] : big) count += HY_OS::FileLength(world.root + path) == static_cast<int64_t>(kFileSize);
        return count;
    };
    uint64_t start = HY_OS::GetMonotonicMs();
    while (installed() < 4 && HY_OS::GetMonotonicMs() - start < 60000) HY_OS::SleepMs(2);
    world.KillChain(runner);
    int before = installed();
    ASSERT_GE(before, 4);
    ASSERT_LT(before, 8) << "the patch ended before the kill; nothing to resume";
    uint64_t missing = 0;
    for (const auto& [path, content] : world.game)
        if (world.Read(path) != content) missing += content.size();

    DriverRun run = world.Run("BankA", {"-r"}, kCredentials);
    ASSERT_EQ(run.lastExit, 0);
    ExpectInstalled(world, "resumed");
    uint64_t fetched = 0;
    for (const std::string& line : run.lines) {
        const std::string prefix = "BankA: package-completed Base ";
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        std::istringstream fields(line.substr(prefix.size()));
        uint32_t altered = 0;
        fields >> altered >> fetched;
    }
    std::printf("resume: %d of 8 large files in place at the kill; %llu bytes missing, %llu fetched\n", before,
                static_cast<unsigned long long>(missing), static_cast<unsigned long long>(fetched));
    EXPECT_GT(fetched, 0u);
    EXPECT_LE(fetched, missing + kFileSize);
}
