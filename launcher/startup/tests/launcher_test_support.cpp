#include "launcher_test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "Crc.h"
#include "OsEnv.h"
#include "OsFile.h"
#include "OsProcess.h"

extern char** environ;

namespace launcher_test {

TempDirectory::TempDirectory() {
    char pattern[] = "/tmp/lark_launcher_test_XXXXXX";
    const char* made = ::mkdtemp(pattern);
    m_path = made ? made : "";
}

TempDirectory::~TempDirectory() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
}

GameRoot::GameRoot() {
    m_bank = m_dir.Path() + "/PatchClient/BankA";
    HY_OS::CreateDirectories(m_bank);
    // A name of its own (the directory's random letters) keeps the single-instance check of a
    // launcher in one test from seeing the launcher of a test running beside it.
    m_launcher = m_bank + "/LarkLauncher_" + HY_OS::FileNamePart(m_dir.Path()).substr(19);
    std::error_code error;
    std::filesystem::copy_file(LARK_LAUNCHER_PATH, m_launcher, error);
    HY_OS::MakeExecutable(m_launcher);
}

void GameRoot::WriteConfig(const std::string& failSafeUrl) const {
    std::string config = ReadFile(SAMPLE_PATCH_CONFIG);
    const std::string empty = "<FailSafeURL path=\"\"/>";
    size_t at = config.find(empty);
    if (at != std::string::npos)
        config.replace(at, empty.size(), "<FailSafeURL path=\"" + failSafeUrl + "\"/>");
    WriteFile(InBank("PatchConfig.xml"), config);
}

std::string GameRoot::ReadLog() const { return ReadFile(InBank("LarkLauncher.Log.txt")); }

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::map<std::string, std::string>& environment,
                           const std::string& workingDirectory) {
    std::map<std::string, std::string> merged;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry = *e;
        size_t equals = entry.find('=');
        if (equals != std::string::npos) merged[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
    // These launchers bind the graphical window's library name whatever display the tests have.
    merged["LARK_UI"] = "graphical";
    for (const auto& [name, value] : environment) {
        if (value.empty())
            merged.erase(name);
        else
            merged[name] = value;
    }
    std::vector<std::string> envTexts;
    for (const auto& [name, value] : merged) envTexts.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& text : envTexts) envp.push_back(text.data());
    envp.push_back(nullptr);

    std::vector<std::string> argTexts{program};
    argTexts.insert(argTexts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : argTexts) argv.push_back(text.data());
    argv.push_back(nullptr);

    static std::atomic<int> counter{0};
    m_errorFile = "/tmp/lark_launcher_stderr_" + std::to_string(::getpid()) + "_" +
                  std::to_string(counter.fetch_add(1));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, m_errorFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    m_pid = pid;
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0 && !m_waited) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    ::unlink(m_errorFile.c_str());
}

ProcessResult ChildProcess::Wait(int timeoutMs) {
    ProcessResult result;
    if (m_pid <= 0 || m_waited) return result;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            status = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_waited = true;
    if (status != -1 && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    result.standardError = ReadFile(m_errorFile);
    return result;
}

ProcessResult RunLauncher(const GameRoot& root, const std::vector<std::string>& arguments,
                          const std::map<std::string, std::string>& environment) {
    ChildProcess process(root.Launcher(), arguments, environment, root.Bank());
    return process.Wait();
}

std::map<std::string, std::string> FakeWindowEnvironment(const std::string& recordFile,
                                                         const std::string& holdFile) {
    std::map<std::string, std::string> environment;
    environment["LD_LIBRARY_PATH"] = HY_OS::DirectoryPart(FAKE_WINDOW_LIBRARY);
    environment["LARK_FAKE_UI_RECORD"] = recordFile;
    if (!holdFile.empty()) environment["LARK_FAKE_UI_HOLD"] = holdFile;
    return environment;
}

bool WaitForText(const std::string& path, const std::string& text, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        if (ReadFile(path).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

LoopbackHttpServer::LoopbackHttpServer() {
    HY_OS::SetEnv("no_proxy", "127.0.0.1");
    m_server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        m_requests.fetch_add(1);
        std::lock_guard<std::mutex> hold(m_lock);
        auto found = m_files.find(request.path);
        if (found == m_files.end()) {
            response.status = 404;
            return;
        }
        response.set_content(found->second, "application/octet-stream");
    });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    while (!m_server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LoopbackHttpServer::~LoopbackHttpServer() {
    m_server.stop();
    m_thread.join();
}

void LoopbackHttpServer::Serve(const std::string& path, const std::string& body) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_files[path] = body;
}

std::string LoopbackHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::string ReadFile(const std::string& path) {
    std::string content;
    HY_OS::ReadWholeFile(path, content);
    return content;
}

void WriteFile(const std::string& path, const std::string& content) {
    HY_OS::WriteFileAtomic(path, content);
}

uint32_t FileCrc(const std::string& content) { return CrcUpdate(0, content.data(), content.size()); }

}  // namespace launcher_test
