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
#include "server_process_support.h"

namespace {

TEST(LarkServerProgram, ServesSignInsOnThePortItPrintsAndLogsNoSecret) {
    hytest::TempDir dir;
    std::string accountsPath = dir / "accounts.txt", logPath = dir / "LarkServer.Log.txt";
    const std::string password = "Process-Pa55word";
    LoginAccounts accounts;
    std::string error;
    ASSERT_TRUE(accounts.Add({"Ann Lee", HashText(password), 0, 1, LoginOutcome::Accept, ""}, error));
    ASSERT_TRUE(accounts.Save(accountsPath));

    std::vector<std::string> lines;
    pid_t pid = StartServer({"login", "--port", "0", "--data", HY_DATA_SOURCE_DIR, "--accounts",
                             accountsPath, "--log", logPath},
                            1, lines);
    std::string line = lines.empty() ? std::string() : lines[0];
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
    EXPECT_EQ(StopServer(pid), 0);

    std::string log;
    ASSERT_TRUE(HY_OS::ReadWholeFile(logPath, log));
    EXPECT_NE(log.find("Sign-in of 'Ann Lee'"), std::string::npos);
    ASSERT_FALSE(passKey.empty());
    for (const std::string& secret : {password, passKey, HashText(password)})
        EXPECT_EQ(log.find(secret), std::string::npos) << secret;
}

}  // namespace
