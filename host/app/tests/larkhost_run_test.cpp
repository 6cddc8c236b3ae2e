// Runs the larkhost program itself, from an installation tree laid out for the test, without a
// display: the real scripts, the real shim and Debian's Wine.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "TempDir.h"

namespace larkhost {
namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteExecutable(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

// An installation root in `base`/share/larkspur made from the build's tree: the host, the loader
// and the shim copied (Wine decides its folders from the running file), the rest linked.
std::string MakeInstallation(const std::string& base, const std::string& launcherScript) {
    std::string tree = LARKHOST_TREE;
    std::string root = base + "/share/larkspur";
    fs::create_directories(root + "/bin");
    fs::create_directories(root + "/lib/wine/x86_64-unix");
    fs::create_directories(root + "/lib/x86_64-linux-gnu");
    fs::create_directories(root + "/share");
    fs::create_directories(base + "/share/lib/python");
    fs::copy_file(LARKHOST_PYTHON, base + "/share/lib/python/ptutils.py");
    fs::copy_file(tree + "/bin/ptstart", root + "/bin/ptstart");
    for (const char* file : {"larkhost", "wine64", "wine64-preloader"})
        if (fs::exists(tree + "/lib/wine/" + file))
            fs::copy_file(tree + "/lib/wine/" + file, root + "/lib/wine/" + file);
    for (const char* link : {"lib/wine/wineserver", "lib/wine/x86_64-unix/ntdll.so",
                             "lib/x86_64-linux-gnu/wine", "share/wine"})
        if (fs::is_symlink(tree + "/" + link))
            fs::copy_symlink(tree + "/" + link, root + "/" + link);
    WriteExecutable(root + "/bin/launcher", launcherScript);
    return root;
}

struct HostRun {
    pid_t pid = -1;
    int status = -1;
    bool finished = false;
};

pid_t StartHost(const std::string& root, const std::vector<std::string>& env,
                const std::vector<std::string>& args = {}) {
    std::vector<char*> envp;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    std::string exe = root + "/lib/wine/larkhost";
    std::vector<char*> argv = {const_cast<char*>(exe.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        execve(exe.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

bool WaitFor(const std::function<bool()>& done, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

// Starts <root>/lib/wine/larkhost with `env` and waits up to four minutes (a first start
// creates the bottle).
HostRun RunHost(const std::string& root, const std::vector<std::string>& env) {
    HostRun run;
    std::vector<char*> envp;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    std::string exe = root + "/lib/wine/larkhost";
    run.pid = fork();
    if (run.pid == 0) {
        char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
        execve(exe.c_str(), argv, envp.data());
        _exit(127);
    }
    for (int i = 0; i < 240 * 20; ++i) {
        if (waitpid(run.pid, &run.status, WNOHANG) == run.pid) {
            run.finished = true;
            return run;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(run.pid, SIGKILL);
    waitpid(run.pid, &run.status, 0);
    return run;
}

std::vector<std::string> BaseEnvironment(const hytest::TempDir& dir, const std::string& dataHome) {
    std::vector<std::string> env = {"PATH=/usr/local/bin:/usr/bin:/bin",
                                    "XDG_CONFIG_HOME=" + dir.Path("config"),
                                    "XDG_STATE_HOME=" + dir.Path("state"),
                                    "XDG_DATA_HOME=" + dataHome,
                                    "TMPDIR=/tmp",
                                    "LANG=C.UTF-8"};
    if (const char* home = getenv("HOME")) env.push_back(std::string("HOME=") + home);
    return env;
}

TEST(LarkhostRun, AMissingLauncherProgramEndsInTheAlertAndTheHostQuits) {
    hytest::TempDir dir;
    std::string root =
        MakeInstallation(dir.Path(),
                         "#!/bin/sh\necho \"launcher: $PT_ROOT/windows/LarkLauncher.exe: No such "
                         "file or directory\" >&2\nexit 1\n");
    auto env = BaseEnvironment(dir, dir.Path("data"));
    HostRun run = RunHost(root, env);
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.status;
    std::string log = Read(dir.Path("state/Larkspur/logs/larkhost.log"));
    EXPECT_NE(log.find("Task error output: launcher: " + root +
                       "/windows/LarkLauncher.exe: No such file or directory"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Larkspur was unable to start this application."), std::string::npos) << log;
    EXPECT_NE(log.find("The primary OEM task just exited.  Time to close down."),
              std::string::npos);
    EXPECT_NE(log.find("larkhost ends"), std::string::npos);
}

// A second larkhost started with a URL hands it to the running one and ends; the running host
// starts the URL through ptstart exactly as it would its own, quotes and all.
TEST(LarkhostRun, ASecondHostForwardsItsUrlToTheRunningOne) {
    hytest::TempDir dir;
    std::string stop = dir.Path("stop");
    std::string started = dir.Path("started");
    std::string root = MakeInstallation(
        dir.Path(), "#!/bin/sh\ntouch '" + started + "'\nwhile [ ! -f '" + stop +
                        "' ]; do sleep 0.05; done\n");
    std::string recorded = dir.Path("ptstart-args");
    fs::remove(root + "/bin/ptstart");
    WriteExecutable(root + "/bin/ptstart", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + recorded +
                                               ".part' && mv '" + recorded + ".part' '" +
                                               recorded + "'\n");
    fs::create_directories(dir.Path("run"));
    fs::permissions(dir.Path("run"), fs::perms::owner_all);
    auto env = BaseEnvironment(dir, dir.Path("data"));
    env.push_back("XDG_RUNTIME_DIR=" + dir.Path("run"));

    pid_t first = StartHost(root, env);
    ASSERT_TRUE(WaitFor([&] { return fs::exists(started); }, 60)) << "the first host's launcher";
    const std::string url = "larkspur://play?name='O'\\''Brien' & more";
    pid_t second = StartHost(root, env, {"--bottle", "Bottle B", url});
    int status = -1;
    ASSERT_TRUE(WaitFor([&] { return waitpid(second, &status, WNOHANG) == second; }, 60));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ASSERT_TRUE(WaitFor([&] { return fs::exists(recorded); }, 60)) << "the URL was not started";
    EXPECT_EQ(Read(recorded), "--bottle\nBottle B\n--wait-children\n--enable-alt-loader\nmacdrv\n"
                              "--\n" + url + "\n");

    std::ofstream(stop) << "";
    bool ended = WaitFor([&] { return waitpid(first, &status, WNOHANG) == first; }, 60);
    if (!ended) {
        kill(first, SIGKILL);
        waitpid(first, &status, 0);
    }
    EXPECT_TRUE(ended);
    std::string log = Read(dir.Path("state/Larkspur/logs/larkhost.log"));
    EXPECT_NE(log.find("forwarded URL: " + url), std::string::npos) << log;
    // The second host did not start a host of its own; the first one logs its start.
    EXPECT_NE(log.find("larkhost 1.0, process " + std::to_string(first)), std::string::npos);
    EXPECT_EQ(log.find("larkhost 1.0, process " + std::to_string(second)), std::string::npos)
        << log;
}

TEST(LarkhostRun, TheWindowsProgramRunsInsideTheHostProcessAndItsEndEndsTheHostAfterShutdown) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory occupies the addresses Wine's loader needs; "
                    "the in-process start is tested in the default build";
#endif
    if (std::string(LARKHOST_PROBE).empty() ||
        !fs::exists(std::string(LARKHOST_TREE) + "/lib/wine/wine64"))
        GTEST_SKIP() << "MinGW-w64 or 64-bit Wine is not installed";
    hytest::TempDir dir;
    std::string work = dir.Path("work dir");
    fs::create_directories(work);
    fs::copy_file(LARKHOST_PROBE, work + "/probe.exe");
    std::ofstream(work + "/in.txt") << "a line for standard input\n";
    std::string root = MakeInstallation(
        dir.Path(), "#!/bin/sh\ncd '" + work +
                        "' || exit 1\n"
                        "exec \"$PT_ROOT/bin/ptstart\" --bottle default --wait-children "
                        "--enable-alt-loader macdrv -- "
                        "'" +
                        work +
                        "/probe.exe' 'two words' \"it's\" --exit=7 <in.txt >out.txt 2>err.txt\n");
    auto env = BaseEnvironment(dir, LARKHOST_WINE_DATA_HOME);
    env.push_back("LARK_PROBE=value from the host's environment");
    HostRun run = RunHost(root, env);
    ASSERT_TRUE(run.finished) << "the host did not end";
    // The program writes Windows line ends.
    std::string out = Read(work + "/out.txt");
    out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
    std::string log = Read(dir.Path("state/Larkspur/logs/larkhost.log"));
    // Wine ends the process with the program's exit code.
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 7) << run.status << "\n"
                                                                       << out << "\n"
                                                                       << log;
    EXPECT_NE(out.find("unixpid=" + std::to_string(run.pid) + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("arg1=two words\n"), std::string::npos) << out;
    EXPECT_NE(out.find("arg2=it's\n"), std::string::npos) << out;
    EXPECT_NE(out.find("arg3=--exit=7\n"), std::string::npos) << out;
    EXPECT_NE(out.find("cwd=Z:\\"), std::string::npos) << out;
    EXPECT_NE(out.find("work dir\n"), std::string::npos) << out;
    EXPECT_NE(out.find("env=value from the host's environment\n"), std::string::npos) << out;
    EXPECT_NE(out.find("stdin=a line for standard input\n"), std::string::npos) << out;
    EXPECT_NE(Read(work + "/err.txt").find("probe-stderr"), std::string::npos);
    // The host's own shutdown ran before the process ended.
    EXPECT_NE(log.find("starting "), std::string::npos) << log;
    EXPECT_NE(log.find("The Windows program ended the process; shutting the host down first."),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("bottle Larkspur: post_quit"), std::string::npos) << log;
}

}  // namespace
}  // namespace larkhost
