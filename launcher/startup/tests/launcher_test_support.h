// Helpers of the launcher tests: temporary game roots, running the built launcher as a process,
// and an HTTP server on loopback.
#pragma once

#include <httplib.h>

#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace launcher_test {

// A fresh directory under /tmp, removed with its content at destruction.
class TempDirectory {
public:
    TempDirectory();
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// A game root <root>/PatchClient/BankA/ holding a copy of the built launcher, named
// "LarkLauncher_" and six letters unique to this root.
class GameRoot {
public:
    GameRoot();
    const std::string& Root() const { return m_dir.Path(); }
    const std::string& Bank() const { return m_bank; }
    const std::string& Launcher() const { return m_launcher; }
    std::string LauncherName() const { return m_launcher.substr(m_bank.size() + 1); }
    std::string InBank(const std::string& name) const { return m_bank + "/" + name; }
    // Writes the sample configuration into the bank, with `failSafeUrl` as its fail-safe address.
    void WriteConfig(const std::string& failSafeUrl = "") const;
    std::string ReadLog() const;

private:
    TempDirectory m_dir;
    std::string m_bank;
    std::string m_launcher;
};

struct ProcessResult {
    int exitCode = -1;  // -1 when it did not exit normally in time
    std::string standardError;
};

// Starts a program; `environment` entries are added to (or replace) this process's environment,
// and an entry with an empty value removes the variable.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& environment,
                 const std::string& workingDirectory);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    bool Started() const { return m_pid > 0; }
    // Waits up to `timeoutMs`; the process is killed when it runs longer.
    ProcessResult Wait(int timeoutMs = 60000);

private:
    int m_pid = -1;
    std::string m_errorFile;
    bool m_waited = false;
};

// Runs the launcher of `root` to its end, started in its bank directory as the game's starter
// does.
ProcessResult RunLauncher(const GameRoot& root, const std::vector<std::string>& arguments,
                          const std::map<std::string, std::string>& environment = {});

// The environment that makes the launcher bind the recording window library.
std::map<std::string, std::string> FakeWindowEnvironment(const std::string& recordFile,
                                                         const std::string& holdFile = "");

// Waits up to `timeoutMs` for `path` to hold `text`.
bool WaitForText(const std::string& path, const std::string& text, int timeoutMs = 30000);

// An HTTP server on 127.0.0.1 at a port of the system's choosing, serving files from a map;
// counts the requests it received.
class LoopbackHttpServer {
public:
    LoopbackHttpServer();
    ~LoopbackHttpServer();
    void Serve(const std::string& path, const std::string& body);
    std::string Url(const std::string& path) const;
    int RequestCount() const { return m_requests.load(); }

private:
    httplib::Server m_server;
    std::mutex m_lock;
    std::map<std::string, std::string> m_files;
    std::atomic<int> m_requests{0};
    int m_port = 0;
    std::thread m_thread;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
uint32_t FileCrc(const std::string& content);

}  // namespace launcher_test
