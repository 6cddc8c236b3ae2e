// Helpers of the patch client's process tests: a game build published with larkpublish, served
// by larkserver (login and patch roles) from a temporary folder, a game root with the headless
// driver installed in a bank, and runs of the driver whose output lines are collected.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "TempDir.h"

class PatchClientConfig;

namespace pctest {

// One driver run and, when it relaunched itself, the run of the new process.
struct DriverRun {
    std::vector<std::string> lines;  // "BankA: state ST_Ready", ...
    int firstExit = -1;              // the exit code of the process the test started
    int lastExit = -1;               // the exit code of the last process of the chain
    bool Has(const std::string& line) const;
    size_t Count(const std::string& line) const;
    // The index of the first line equal to `line`, or -1.
    int IndexOf(const std::string& line) const;
};

class GameWorld {
public:
    // Publishes the build (launcher notes "v1", a small game and `extraGameFiles`, paths below
    // Data/) and starts the servers.
    explicit GameWorld(const std::map<std::string, std::string>& extraGameFiles = {});
    ~GameWorld();
    GameWorld(const GameWorld&) = delete;
    GameWorld& operator=(const GameWorld&) = delete;

    // Sets a file of the build (relative path); Publish() makes it the next version.
    void SetBuildFile(const std::string& path, const std::string& content);
    void Publish();
    // Adds an account with the password "swordfish" and the given extra add-account options.
    void AddAccount(const std::string& name, const std::vector<std::string>& extra = {});
    // (Re)starts the servers, e.g. after accounts were added.
    void StartServers();
    void StopServers();

    // Puts the driver, the configuration and launcher notes of `notes` into `bank`.
    void InstallLauncher(const std::string& bank, const std::string& notes);
    // Starts the driver in `bank`, feeds `input` to its standard input and waits for it and for
    // the relaunched process, if any.
    DriverRun Run(const std::string& bank, const std::vector<std::string>& args, const std::string& input,
                  uint32_t limitMs = 60000);
    // Starts the driver and answers its process id without waiting (for kill tests). With
    // `inputFd`, standard input stays open after `input`: its writing end is handed back there
    // for the test to write more and close.
    pid_t Launch(const std::string& bank, const std::vector<std::string>& args, const std::string& input,
                 int* inputFd = nullptr);
    // The lines written so far by every driver started since the last Run or Launch.
    std::vector<std::string> OutputLines() const;
    // Waits for every process of the chain started by Launch; false on time-out (then kills).
    bool WaitChain(pid_t runner, DriverRun& run, uint32_t limitMs);
    // Kills every process of the chain at once.
    void KillChain(pid_t runner);

    // For a patch client in this process: installs the launcher in BankA with `notes`, points the
    // configuration at the servers and this process's environment at them and the user store.
    void PrepareInProcess(PatchClientConfig& config, const std::string& notes);

    // The content of a file below the game root; empty when missing.
    std::string Read(const std::string& relative) const;
    // The value of the AppStart registry entry; empty when missing.
    std::string AppStartRegistryValue() const;

    // The game's files as published: install path -> content.
    std::map<std::string, std::string> game;
    hytest::TempDir dir;
    std::string root;        // the game root, with a trailing '/'
    std::string buildDir;    // the game build larkpublish publishes
    std::string repository;  // larkpublish's output
    std::string accounts;
    std::string configHome;  // XDG_CONFIG_HOME of the drivers
    std::string outputPath;
    std::string manifest;
    // The program installed into a bank and started there (the headless driver unless a test
    // installs the launcher itself), and further files copied into the bank: name -> source.
    std::string programPath = DRIVER_PATH;
    std::string programName = "patchclient_driver";
    std::map<std::string, std::string> bankFiles;
    uint16_t loginPort = 0;
    uint16_t patchPort = 0;
    uint16_t httpPort = 0;
    pid_t server = -1;
};

}  // namespace pctest
