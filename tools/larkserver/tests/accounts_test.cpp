// The accounts file and the add-account command: what is stored (never a password), and which
// files and command lines are refused.
#include "LoginAccounts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "CredentialProtection.h"
#include "OsFile.h"
#include "ServerCommands.h"

namespace {

class AccountsFile : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = (std::filesystem::temp_directory_path() /
                 ("larkserver_accounts_" + std::to_string(::getpid())))
                    .string();
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        path = HY_OS::JoinPath(m_dir, "accounts.txt");
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    int AddAccount(std::vector<std::string> args, const std::string& input, std::string* errText = nullptr) {
        args.insert(args.begin(), {"add-account", "--accounts", path});
        std::istringstream in(input);
        std::ostringstream out, err;
        std::atomic<bool> stop{true};
        int rc = RunLarkServer(args, in, out, err, stop);
        if (errText) *errText = err.str();
        return rc;
    }

    std::string path;

private:
    std::string m_dir;
};

TEST_F(AccountsFile, AddAccountStoresTheHashOfTheTypedPasswordAndNeverThePassword) {
    ASSERT_EQ(AddAccount({"--name", "Ann Lee", "--paying", "1"}, "s3cret-Pass\n"), 0);
    ASSERT_EQ(AddAccount({"--name", "bob", "--outcome", "banned", "--ban", "forever", "--id", "77"},
                         "other\r\n"),
              0);
    std::string content;
    ASSERT_TRUE(HY_OS::ReadWholeFile(path, content));
    EXPECT_EQ(content.find("s3cret-Pass"), std::string::npos);

    LoginAccounts accounts;
    std::string error;
    ASSERT_TRUE(accounts.Load(path, error)) << error;
    const LoginAccount* ann = accounts.FindByName("Ann Lee");
    ASSERT_NE(ann, nullptr);
    EXPECT_EQ(ann->passwordHash, HashText("s3cret-Pass"));
    EXPECT_EQ(ann->accountId, 1000u);
    EXPECT_EQ(ann->paying, 1);
    EXPECT_EQ(ann->outcome, LoginOutcome::Accept);
    const LoginAccount* bob = accounts.FindById(77);
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ(bob->passwordHash, HashText("other")) << "the line break is not part of the password";
    EXPECT_EQ(bob->outcome, LoginOutcome::AccountBanned);
    EXPECT_EQ(bob->banText, "forever");
}

TEST_F(AccountsFile, RefusesTakenNamesAndIdsBadOptionsAndEmptyPasswords) {
    ASSERT_EQ(AddAccount({"--name", "ann", "--id", "5"}, "pw\n"), 0);
    std::string err;
    EXPECT_EQ(AddAccount({"--name", "ann"}, "pw\n", &err), 1);
    EXPECT_NE(err.find("taken"), std::string::npos);
    EXPECT_EQ(AddAccount({"--name", "carl", "--id", "5"}, "pw\n"), 1);
    EXPECT_EQ(AddAccount({"--name", "dan"}, "\n"), 1);
    EXPECT_EQ(AddAccount({"--name", "dan"}, ""), 1);
    EXPECT_EQ(AddAccount({"--name", "dan", "--outcome", "sometimes"}, "pw\n"), 2);
    EXPECT_EQ(AddAccount({"--name", "dan", "--id", "-3"}, "pw\n"), 2);
    EXPECT_EQ(AddAccount({"--name", "tab\tname"}, "pw\n"), 1);
    EXPECT_EQ(AddAccount({"--name"}, "pw\n"), 2);
    LoginAccounts accounts;
    std::string error;
    ASSERT_TRUE(accounts.Load(path, error));
    EXPECT_EQ(accounts.All().size(), 1u);
}

TEST_F(AccountsFile, AMalformedLineRefusesTheWholeFileWithItsLineNumber) {
    std::string hash = HashText("pw");
    const std::vector<std::string> badLines = {
        "ann\t" + hash + "\t1\t0\tok",                    // a field missing
        "ann\tnot-a-hash\t1\t0\tok\t",                    // not a hash text
        "ann\t" + hash + "\tx1\t0\tok\t",                 // id not a number
        "ann\t" + hash + "\t1\t0\tperhaps\t",             // unknown outcome
        "\t" + hash + "\t1\t0\tok\t",                     // no name
    };
    for (const std::string& line : badLines) {
        ASSERT_TRUE(HY_OS::WriteFileAtomic(path, "# comment\n\nok\t" + hash + "\t9\t0\tok\t\n" + line + "\n"));
        LoginAccounts accounts;
        std::string error;
        EXPECT_FALSE(accounts.Load(path, error)) << line;
        EXPECT_NE(error.find(":4:"), std::string::npos) << error;
        EXPECT_TRUE(accounts.All().empty());
    }
    LoginAccounts accounts;
    std::string error;
    EXPECT_FALSE(accounts.Load(HY_OS::JoinPath(path, "missing"), error));
}

TEST_F(AccountsFile, SaveAndLoadKeepEveryField) {
    LoginAccounts accounts;
    std::string error;
    for (auto outcome : {LoginOutcome::Accept, LoginOutcome::MachineBanned, LoginOutcome::Silent,
                         LoginOutcome::CloseConnection, LoginOutcome::BadRecord}) {
        LoginAccount account;
        account.name = std::string("user ") + LoginOutcomeName(outcome);
        account.passwordHash = HashText(account.name);
        account.paying = 3;
        account.outcome = outcome;
        account.banText = "2d";
        ASSERT_TRUE(accounts.Add(account, error)) << error;
    }
    ASSERT_TRUE(accounts.Save(path));
    LoginAccounts loaded;
    ASSERT_TRUE(loaded.Load(path, error)) << error;
    ASSERT_EQ(loaded.All().size(), accounts.All().size());
    for (size_t i = 0; i < loaded.All().size(); ++i) {
        const LoginAccount& a = accounts.All()[i];
        const LoginAccount& b = loaded.All()[i];
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.passwordHash, b.passwordHash);
        EXPECT_EQ(a.accountId, b.accountId);
        EXPECT_EQ(a.paying, b.paying);
        EXPECT_EQ(a.outcome, b.outcome);
        EXPECT_EQ(a.banText, b.banText);
    }
}

}  // namespace
