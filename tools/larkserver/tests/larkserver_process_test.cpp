// The larkserver program itself: started on port 0 it prints the port it took, serves a sign-in
// and a validation, writes no secret to its log and ends cleanly on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "LoginAccounts.h"
#include "OsFile.h"
#include "TempDir.h"
#include "login_test_support.h"

namespace {

// Starts the program with its standard output on a pipe and answers its first line.
pid_t StartServer(const std::vector<std::string>& args, std::string& firstLine) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        std::vector<char*> argv{const_cast<char*>(LARKSERVER_PATH)};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(LARKSERVER_PATH, argv.data());
        _exit(127);
    }
    close(fds[1]);
    FILE* out = fdopen(fds[0], "r");
    char line[256] = {};
    if (out && fgets(line, sizeof line, out)) firstLine = line;
    if (out) fclose(out);
    return pid;
}

TEST(LarkServerProgram, ServesSignInsOnThePortItPrintsAndLogsNoSecret) {
    hytest::TempDir dir;
    std::string accountsPath = dir / "accounts.txt", logPath = dir / "LarkServer.Log.txt";
    const std::string password = "Process-Pa55word";
    LoginAccounts accounts;
    std::string error;
    ASSERT_TRUE(accounts.Add({"Ann Lee", HashText(password), 0, 1, LoginOutcome::Accept, ""}, error));
    ASSERT_TRUE(accounts.Save(accountsPath));

    std::string line;
    pid_t pid = StartServer({"login", "--port", "0", "--data", HY_DATA_SOURCE_DIR, "--accounts",
                             accountsPath, "--log", logPath},
                            line);
    ASSERT_GT(pid, 0);
    const std::string prefix = "larkserver: login server listening on 127.0.0.1:";
    EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
    uint16_t port = static_cast<uint16_t>(line.size() > prefix.size() ? std::atoi(line.c_str() + prefix.size()) : 0);

    logintest::LoadModules();
    std::string passKey;
    logintest::RunOnWorker([&] {
        logintest::RecordingLogin login;
        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", port, "Ann Lee", password, 20000));
        ASSERT_TRUE(login.WaitForOutcome());
        ASSERT_TRUE(login.outcomes[0].success);
        passKey = login.PassKey();
        ASSERT_TRUE(login.ValidateUser("127.0.0.1", port, login.AccountId(), passKey, 20000));
        ASSERT_TRUE(login.WaitForOutcome(2));
        EXPECT_TRUE(login.outcomes[1].success);
    });
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    std::string log;
    ASSERT_TRUE(HY_OS::ReadWholeFile(logPath, log));
    EXPECT_NE(log.find("Sign-in of 'Ann Lee'"), std::string::npos);
    ASSERT_FALSE(passKey.empty());
    for (const std::string& secret : {password, passKey, HashText(password)})
        EXPECT_EQ(log.find(secret), std::string::npos) << secret;
}

}  // namespace
