#include "patchclient_test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "OsFile.h"
#include "OsTime.h"
#include "PatchClientConfig.h"
#include "UserRegistryStore.h"
#include "server_process_support.h"

namespace pctest {

namespace {

// Runs a program to its end with `input` on its standard input; answers its exit code.
int RunProgram(const std::vector<std::string>& argv, const std::string& input) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[0], STDIN_FILENO);
        close(fds[1]);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(fds[0]);
    if (!input.empty()) (void)!write(fds[1], input.data(), input.size());
    close(fds[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int ExitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

}  // namespace

bool DriverRun::Has(const std::string& line) const { return IndexOf(line) >= 0; }

size_t DriverRun::Count(const std::string& line) const {
    size_t count = 0;
    for (const std::string& l : lines) count += l == line;
    return count;
}

int DriverRun::IndexOf(const std::string& line) const {
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == line) return static_cast<int>(i);
    return -1;
}

GameWorld::GameWorld(const std::map<std::string, std::string>& extraGameFiles) {
    // Drivers of a killed chain are reaped here.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    std::string base = dir.Path();
    if (base.back() != '/') base += '/';
    root = base + "game/";
    buildDir = base + "build/";
    repository = base + "repository";
    accounts = base + "accounts.txt";
    configHome = base + "config";
    outputPath = base + "driver.out";
    manifest = base + "manifest.txt";
    HY_OS::CreateDirectories(root);
    HY_OS::CreateDirectories(configHome);
    HY_OS::WriteFileAtomic(root + "Lang.txt", "English");
    HY_OS::WriteFileAtomic(manifest,
                           "package PatchClient required\n"
                           "plain Launcher/LauncherNotes.txt LauncherNotes.txt\n"
                           "package Base required\n"
                           "plain Readme.txt\n"
                           "gzip Bin/\n"
                           "plain Data/\n");
    SetBuildFile("Launcher/LauncherNotes.txt", "launcher v1\n");
    game["Readme.txt"] = "Larkspur\n";
    game["Bin/GameClient.txt"] = std::string(3000, 'g');
    game["Data/Strings.txt"] = "strings v1\n";
    game.insert(extraGameFiles.begin(), extraGameFiles.end());
    for (const auto& [path, content] : game) SetBuildFile(path, content);
    Publish();
    AddAccount("player");
    StartServers();
}

GameWorld::~GameWorld() { StopServers(); }

void GameWorld::SetBuildFile(const std::string& path, const std::string& content) {
    std::string full = buildDir + path;
    HY_OS::CreateDirectories(HY_OS::DirectoryPart(full));
    ASSERT_TRUE(HY_OS::WriteFileAtomic(full, content)) << full;
}

void GameWorld::Publish() {
    ASSERT_EQ(RunProgram({LARKPUBLISH_PATH, "--build", buildDir, "--manifest", manifest, "--repository", repository,
                          "--data", HY_DATA_SOURCE_DIR, "--locale", "English"},
                         ""),
              0);
}

void GameWorld::AddAccount(const std::string& name, const std::vector<std::string>& extra) {
    std::vector<std::string> argv = {LARKSERVER_PATH, "add-account", "--accounts", accounts, "--name", name};
    argv.insert(argv.end(), extra.begin(), extra.end());
    ASSERT_EQ(RunProgram(argv, "swordfish\n"), 0);
}

void GameWorld::StartServers() {
    StopServers();
    std::vector<std::string> lines;
    server = StartServer({"serve", "--data", HY_DATA_SOURCE_DIR, "--login-port", "0", "--accounts", accounts,
                          "--patch-port", "0", "--repository", repository, "--http-port", "0", "--log",
                          dir.Path() + "/server.log"},
                         4, lines);
    ASSERT_GT(server, 0);
    loginPort = ListeningPort(lines, "login");
    patchPort = ListeningPort(lines, "patch");
    ASSERT_NE(loginPort, 0);
    ASSERT_NE(patchPort, 0);
}

void GameWorld::StopServers() {
    if (server > 0) StopServer(server);
    server = -1;
}

void GameWorld::InstallLauncher(const std::string& bank, const std::string& notes) {
    std::string folder = root + "PatchClient/" + bank + "/";
    HY_OS::CreateDirectories(folder);
    std::map<std::string, std::string> files = bankFiles;
    files[programName] = programPath;
    for (const auto& [name, source] : files) {
        std::string binary;
        ASSERT_TRUE(HY_OS::ReadWholeFile(source, binary)) << source;
        ASSERT_TRUE(HY_OS::WriteFileAtomic(folder + name, binary));
        chmod((folder + name).c_str(), 0755);
        // Files installed by hand are older than anything a run writes.
        HY_OS::SetLastWriteTimeMs(folder + name, 1000000000000);
    }
    std::ostringstream config;
    config << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n"
           << "  <PatchClientDataDir path=\"" << HY_DATA_SOURCE_DIR << "/\"/>\n"
           << "  <PatchServerHostname host=\"127.0.0.1\"/>\n"
           << "  <PatchServerPort port=\"" << patchPort << "\"/>\n"
           << "  <LoginHostname host=\"127.0.0.1\"/>\n"
           << "  <LoginPort port=\"" << loginPort << "\"/>\n"
           << "  <GameClientExecutable file=\"LarkGame\"/>\n  <CommandLine args=\"\"/>\n"
           << "  <LocalNewsURL path=\"news.html\"/>\n  <NewsURL path=\"http://127.0.0.1/\"/>\n"
           << "  <HomeURL path=\"http://127.0.0.1/\"/>\n  <RegistrationURL path=\"http://127.0.0.1/\"/>\n"
           << "  <MyAccountURL path=\"http://127.0.0.1/\"/>\n  <PatchErrorURL path=\"http://127.0.0.1/\"/>\n"
           << "  <FallBackURL path=\"http://127.0.0.1/\"/>\n  <SilentMetricsURL path=\"http://127.0.0.1/\"/>\n"
           << "  <GameOptions path=\"\"/>\n  <Skin file=\"Larkspur.skf\"/>\n"
           << "  <AppStartRegistryKey key=\"AppStart\"/>\n"
           << "  <GameSpecificRegistry registry=\"Software\\Halcyra\\Larkspur\"/>\n"
           << "  <PatchClientIDRegKey key=\"PatchClientID\"/>\n"
           << "  <PatchClientIDRegistry registry=\"Software\\Halcyra\\PatchClient\"/>\n"
           << "  <PatchInfoDirectory name=\"PatchInfo\"/>\n"
           << "  <EulaURL path=\"http://127.0.0.1/\"/>\n  <ServerListURL path=\"http://127.0.0.1/\"/>\n"
           << "  <FailSafeURL path=\"\"/>\n</root>\n";
    ASSERT_TRUE(HY_OS::WriteFileAtomic(folder + "PatchConfig.xml", config.str()));
    HY_OS::SetLastWriteTimeMs(folder + "PatchConfig.xml", 1000000000000);
    ASSERT_TRUE(HY_OS::WriteFileAtomic(folder + "LauncherNotes.txt", notes));
    HY_OS::SetLastWriteTimeMs(folder + "LauncherNotes.txt", 1000000000000);
}

pid_t GameWorld::Launch(const std::string& bank, const std::vector<std::string>& args, const std::string& input,
                        int* inputFd) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    std::string program = root + "PatchClient/" + bank + "/" + programName;
    std::string resultPath = outputPath + ".exit";
    HY_OS::DeleteFile(resultPath);
    int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
    // A runner process of its own group starts the driver and reaps it and every launcher it
    // relaunches (it is their reaper), then records the first and the last exit code. Killing the
    // group kills the whole chain.
    pid_t runner = fork();
    if (runner == 0) {
        setpgid(0, 0);
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[0], STDIN_FILENO);
            dup2(out, STDOUT_FILENO);
            close(fds[1]);
            setenv("HY_HOSTNAME", "localhost", 1);
            setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        close(fds[0]);
        close(fds[1]);
        int first = -1, last = -1, status = 0;
        for (pid_t ended; (ended = waitpid(-1, &status, 0)) > 0;) {
            last = ExitCodeOf(status);
            if (ended == pid) first = last;
        }
        FILE* result = std::fopen(resultPath.c_str(), "w");
        if (result != nullptr) {
            std::fprintf(result, "%d %d\n", first, last);
            std::fclose(result);
        }
        _exit(0);
    }
    setpgid(runner, runner);
    close(out);
    close(fds[0]);
    if (!input.empty()) (void)!write(fds[1], input.data(), input.size());
    if (inputFd != nullptr)
        *inputFd = fds[1];
    else
        close(fds[1]);
    return runner;
}

std::vector<std::string> GameWorld::OutputLines() const {
    std::vector<std::string> lines;
    std::ifstream in(outputPath);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool GameWorld::WaitChain(pid_t runner, DriverRun& run, uint32_t limitMs) {
    uint64_t start = HY_OS::GetMonotonicMs();
    bool ok = true;
    int status = 0;
    while (waitpid(runner, &status, WNOHANG) == 0) {
        if (HY_OS::GetMonotonicMs() - start > limitMs) {
            ok = false;
            KillChain(runner);
            break;
        }
        HY_OS::SleepMs(5);
    }
    std::ifstream result(outputPath + ".exit");
    result >> run.firstExit >> run.lastExit;
    run.lines = OutputLines();
    return ok;
}

void GameWorld::KillChain(pid_t runner) {
    kill(-runner, SIGKILL);
    int status = 0;
    waitpid(runner, &status, 0);
    // Drivers whose runner died are reparented to the nearest reaper; collect what is left.
    HY_OS::SleepMs(20);
    while (waitpid(-1, &status, WNOHANG) > 0) {
    }
}

DriverRun GameWorld::Run(const std::string& bank, const std::vector<std::string>& args, const std::string& input,
                         uint32_t limitMs) {
    DriverRun run;
    pid_t pid = Launch(bank, args, input);
    EXPECT_GT(pid, 0);
    EXPECT_TRUE(WaitChain(pid, run, limitMs)) << "the driver did not end in time";
    return run;
}

void GameWorld::PrepareInProcess(PatchClientConfig& config, const std::string& notes) {
    setenv("HY_HOSTNAME", "localhost", 1);
    setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
    InstallLauncher("BankA", notes);
    config.PatchClientDataDir = std::string(HY_DATA_SOURCE_DIR) + "/";
    config.LoginHostname = "127.0.0.1";
    config.LoginPort = loginPort;
    config.PatchServerHostname = "127.0.0.1";
    config.PatchServerPort = patchPort;
    config.GameClientExecutable = "LarkGame";
    config.PatchClientIDRegistry = "Software\\Halcyra\\PatchClient";
    config.PatchClientIDRegKey = "PatchClientID";
    config.Language = "English";
}

std::string GameWorld::Read(const std::string& relative) const {
    std::string text;
    HY_OS::ReadWholeFile(root + relative, text);
    return text;
}

std::string GameWorld::AppStartRegistryValue() const {
    UserRegistryStore store(configHome + "/Larkspur/UserRegistry.txt");
    std::string value;
    store.ReadString("Software\\Halcyra\\StarterApp", "AppStart", value);
    return value;
}

}  // namespace pctest
