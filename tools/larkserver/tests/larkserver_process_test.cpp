// The larkserver program itself: started on port 0, it prints the port it took, serves a
// sign-in and a validation, writes no secret to its log and ends cleanly on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "LoginAccounts.h"
#include "OsFile.h"
#include "login_test_support.h"

namespace {

// Runs the program with stdout on a pipe; kills it when it is still running at the end.
class ServerProcess {
public:
    explicit ServerProcess(const std::vector<std::string>& args) {
        int fds[2];
        if (pipe(fds) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(LARKSERVER_PATH));
            for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(LARKSERVER_PATH, argv.data());
            _exit(127);
        }
        close(fds[1]);
        m_out = fdopen(fds[0], "r");
    }
    ~ServerProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_out) fclose(m_out);
    }
    std::string ReadLine() {
        char line[512];
        return m_out && fgets(line, sizeof line, m_out) ? std::string(line) : std::string();
    }
    // The exit status after SIGTERM, or -1.
    int Terminate() {
        if (m_pid <= 0) return -1;
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    FILE* m_out = nullptr;
};

TEST(LarkServerProgram, ServesSignInsOnThePortItPrintsAndLogsNoSecret) {
    std::string dir = (std::filesystem::temp_directory_path() /
                       ("larkserver_process_" + std::to_string(::getpid())))
                          .string();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::string accountsPath = HY_OS::JoinPath(dir, "accounts.txt");
    std::string logPath = HY_OS::JoinPath(dir, "LarkServer.Log.txt");
    const std::string password = "Process-Pa55word";
    {
        LoginAccounts accounts;
        LoginAccount account;
        account.name = "Ann Lee";
        account.passwordHash = HashText(password);
        account.paying = 1;
        std::string error;
        ASSERT_TRUE(accounts.Add(account, error));
        ASSERT_TRUE(accounts.Save(accountsPath));
    }

    ServerProcess server({"login", "--port", "0", "--data", HY_DATA_SOURCE_DIR, "--accounts",
                          accountsPath, "--log", logPath});
    std::string line = server.ReadLine();
    const std::string prefix = "larkserver: login server listening on 127.0.0.1:";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    int port = std::atoi(line.c_str() + prefix.size());
    ASSERT_GT(port, 0);

    logintest::LoadModules();
    std::string passKey;
    logintest::RunOnWorker([&] {
        logintest::RecordingLogin login;
        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", static_cast<uint16_t>(port), "Ann Lee",
                                           password, 20000));
        ASSERT_TRUE(login.WaitForOutcome());
        ASSERT_TRUE(login.outcomes[0].success);
        EXPECT_EQ(login.outcomes[0].paying, 1);
        passKey = login.PassKey();
        ASSERT_TRUE(login.ValidateUser("127.0.0.1", static_cast<uint16_t>(port), login.AccountId(),
                                       passKey, 20000));
        ASSERT_TRUE(login.WaitForOutcome(2));
        EXPECT_TRUE(login.outcomes[1].success);
    });
    EXPECT_EQ(server.Terminate(), 0);

    std::string log;
    ASSERT_TRUE(HY_OS::ReadWholeFile(logPath, log));
    EXPECT_NE(log.find("Sign-in of 'Ann Lee'"), std::string::npos);
    ASSERT_FALSE(passKey.empty());
    for (const std::string& secret : {password, passKey, HashText(password)})
        EXPECT_EQ(log.find(secret), std::string::npos) << secret;
    std::filesystem::remove_all(dir);
}

}  // namespace
