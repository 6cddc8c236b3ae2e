// The accounts file and the add-account command: what is stored (never a password), and which
// files and command lines are refused.
#include "LoginAccounts.h"

#include <gtest/gtest.h>

#include <sstream>

#include "CredentialProtection.h"
#include "OsFile.h"
#include "ServerCommands.h"
#include "TempDir.h"

namespace {

class AccountsFile : public ::testing::Test {
protected:
    int AddAccount(std::vector<std::string> args, const std::string& input) {
        args.insert(args.begin(), {"add-account", "--accounts", path});
        std::istringstream in(input);
        std::ostringstream out, err;
        std::atomic<bool> stop{true};
        return RunLarkServer(args, in, out, err, stop);
    }

    hytest::TempDir m_dir;
    std::string path = m_dir / "accounts.txt";
};

TEST_F(AccountsFile, AddAccountStoresTheHashOfTheTypedPasswordAndRefusesBadInput) {
    ASSERT_EQ(AddAccount({"--name", "Ann Lee", "--paying", "1"}, "s3cret-Pass\n"), 0);
    ASSERT_EQ(AddAccount({"--name", "bob", "--outcome", "banned", "--ban", "forever", "--id", "77"},
                         "other\r\n"),
              0);
    EXPECT_EQ(AddAccount({"--name", "ann2", "--id", "77"}, "pw\n"), 1) << "id taken";
    EXPECT_EQ(AddAccount({"--name", "bob"}, "pw\n"), 1) << "name taken";
    EXPECT_EQ(AddAccount({"--name", "dan"}, "\n"), 1) << "empty password";
    EXPECT_EQ(AddAccount({"--name", "tab\tname"}, "pw\n"), 1);
    EXPECT_EQ(AddAccount({"--name", "dan", "--outcome", "sometimes"}, "pw\n"), 2);
    EXPECT_EQ(AddAccount({"--name", "dan", "--id", "-3"}, "pw\n"), 2);
    EXPECT_EQ(AddAccount({"--name"}, "pw\n"), 2);

    std::string content;
    ASSERT_TRUE(HY_OS::ReadWholeFile(path, content));
    EXPECT_EQ(content.find("s3cret-Pass"), std::string::npos);
    EXPECT_NE(content.find(HashText("s3cret-Pass")), std::string::npos) << content;
    LoginAccounts accounts;
    std::string error;
    ASSERT_TRUE(accounts.Load(path, error)) << error;
    ASSERT_EQ(accounts.All().size(), 2u);
    const LoginAccount* ann = accounts.FindByName("Ann Lee");
    ASSERT_NE(ann, nullptr);
    EXPECT_EQ(ann->passwordHash, HashText("s3cret-Pass"));
    EXPECT_EQ(ann->accountId, 1000u);
    EXPECT_EQ(ann->paying, 1);
    const LoginAccount* bob = accounts.FindById(77);
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ(bob->passwordHash, HashText("other")) << "the line break is not part of the password";
    EXPECT_EQ(bob->outcome, LoginOutcome::AccountBanned);
    EXPECT_EQ(bob->banText, "forever");
}

TEST_F(AccountsFile, AMalformedLineRefusesTheWholeFileWithItsLineNumber) {
    std::string hash = HashText("pw");
    for (const std::string& line : {"ann\t" + hash + "\t1\t0\tok",            // a field missing
                                    std::string("ann\tnot-a-hash\t1\t0\tok\t"),  // not a hash text
                                    "ann\t" + hash + "\tx1\t0\tok\t",         // id not a number
                                    "ann\t" + hash + "\t1\t0\tperhaps\t",     // unknown outcome
                                    "ok\t" + hash + "\t1\t0\tok\t"}) {        // name taken
        ASSERT_TRUE(HY_OS::WriteFileAtomic(path, "# comment\n\nok\t" + hash + "\t9\t0\tok\t\n" + line + "\n"));
        LoginAccounts accounts;
        std::string error;
        EXPECT_FALSE(accounts.Load(path, error)) << line;
        EXPECT_NE(error.find(":4:"), std::string::npos) << error;
        EXPECT_TRUE(accounts.All().empty());
    }
}

}  // namespace
