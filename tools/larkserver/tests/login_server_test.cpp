// The login client against the development login server in the same process: every result the
// accounts and the server's behaviour can give, pass keys issued and validated, and malformed
// requests closing only their own connection.
#include "LoginServer.h"

#include <gtest/gtest.h>
#include <netinet/in.h>

#include "ClientSession.h"
#include "MessageManager.h"
#include "login_test_support.h"

namespace {

using logintest::RecordingLogin;
using logintest::PumpFor;
using logintest::PumpUntil;
using logintest::RunOnWorker;

constexpr uint32_t kTimeout = 20000;

struct AccountSpec {
    const char* name;
    LoginOutcome outcome;
    const char* banText;
    int paying;
};

const AccountSpec kAccounts[] = {
    {"payer", LoginOutcome::Accept, "", 1},
    {"capped", LoginOutcome::FreeToPlayCapped, "", 0},
    {"banned", LoginOutcome::AccountBanned, "", 0},
    {"banned until", LoginOutcome::AccountBanned, "forever", 0},
    {"machine", LoginOutcome::MachineBanned, "", 0},
    {"machine until", LoginOutcome::MachineBanned, "3d", 0},
    {"nologin", LoginOutcome::NoLogin, "", 0},
    {"down", LoginOutcome::AuthDown, "", 0},
    {"authbanned", LoginOutcome::AuthBanned, "", 0},
    {"quarantined", LoginOutcome::Quarantined, "", 0},
    {"mismatch", LoginOutcome::Mismatch, "", 0},
    {"badrec", LoginOutcome::BadRecord, "", 0},
    {"silent", LoginOutcome::Silent, "", 0},
    {"closer", LoginOutcome::CloseConnection, "", 0},
};

LoginAccounts MakeAccounts() {
    LoginAccounts accounts;
    std::string error;
    for (const AccountSpec& spec : kAccounts) {
        LoginAccount account;
        account.name = spec.name;
        account.passwordHash = HashText(std::string("pw-") + spec.name);
        account.outcome = spec.outcome;
        account.banText = spec.banText;
        account.paying = spec.paying;
        EXPECT_TRUE(accounts.Add(account, error)) << error;
    }
    return accounts;
}

// Listens on 127.0.0.1 with the accounts above.
struct TestLoginServer {
    TestLoginServer() : server(MakeAccounts()) {
        logintest::LoadModules();
        EXPECT_EQ(server.Listen(HYInetAddress(INADDR_LOOPBACK, 0)), 0);
    }
    LoginServer server;
};

// Signs in and answers the callback's result (-1 when none came).
int SignIn(RecordingLogin& login, uint16_t port, const std::string& name, const std::string& password) {
    size_t before = login.outcomes.size();
    if (!login.AuthenticateUser("127.0.0.1", port, name, password, kTimeout)) return -1;
    if (!login.WaitForOutcome(before + 1)) return -1;
    return login.outcomes.back().result;
}

int Validate(RecordingLogin& login, uint16_t port, uint64_t id, const std::string& passKey) {
    size_t before = login.outcomes.size();
    if (!login.ValidateUser("127.0.0.1", port, id, passKey, kTimeout)) return -1;
    if (!login.WaitForOutcome(before + 1)) return -1;
    return login.outcomes.back().result;
}

TEST(LoginServer, EachAccountOutcomeGivesItsSignInResult) {
    RunOnWorker([] {
        TestLoginServer test;
        RecordingLogin login;
        uint16_t port = test.server.Port();
        struct Case {
            const char* name;
            int result;
            const char* banText;
        };
        const Case cases[] = {
            {"payer", LR_Success, ""},
            {"capped", LR_FreeToPlayCapped, ""},
            {"banned", LR_AccountBanned, ""},
            {"banned until", LR_AccountBannedUntil, "forever"},
            {"machine", LR_MachineBanned, ""},
            {"machine until", LR_MachineBannedUntil, "3d"},
            {"nologin", LR_LoginNotAllowed, ""},
            {"down", LR_AuthServerDown, ""},
            {"authbanned", LR_AuthBanned, ""},
            {"quarantined", LR_Quarantined, ""},
            {"mismatch", LR_AccountClientMismatch, ""},
            {"badrec", LR_WrongNameOrPassword, ""},
        };
        for (const Case& c : cases) {
            EXPECT_EQ(SignIn(login, port, c.name, std::string("pw-") + c.name), c.result) << c.name;
            EXPECT_EQ(login.outcomes.back().banText, c.banText) << c.name;
        }
        EXPECT_EQ(SignIn(login, port, "payer", "wrong"), LR_WrongNameOrPassword);
        EXPECT_EQ(SignIn(login, port, "nobody", "pw-nobody"), LR_WrongNameOrPassword);
        EXPECT_EQ(login.outcomes.size(), std::size(cases) + 2);
        EXPECT_EQ(test.server.MalformedRequests(), 0u);
    });
}

TEST(LoginServer, ASuccessfulSignInIssuesAPassKeyThatValidatesUntilTheAccountChanges) {
    RunOnWorker([] {
        TestLoginServer test;
        RecordingLogin login;
        uint16_t port = test.server.Port();
        ASSERT_EQ(SignIn(login, port, "payer", "pw-payer"), LR_Success);
        const uint64_t id = login.AccountId();
        const std::string passKey = login.PassKey();
        EXPECT_EQ(id, test.server.Accounts().FindByName("payer")->accountId);
        EXPECT_EQ(passKey.size(), 32u);
        EXPECT_EQ(login.PayingFlag(), 1);
        EXPECT_FALSE(login.WebSessionId().empty());

        EXPECT_EQ(Validate(login, port, id, passKey), LR_Success);
        EXPECT_EQ(login.outcomes.back().paying, 1);
        EXPECT_EQ(Validate(login, port, id, "not-the-key"), LR_WrongPassKey);
        EXPECT_EQ(Validate(login, port, id + 1, passKey), LR_WrongPassKey);

        LoginAccount& account = *test.server.Accounts().FindByName("payer");
        struct Case {
            LoginOutcome outcome;
            const char* banText;
            int result;
        };
        const Case cases[] = {
            {LoginOutcome::AccountBanned, "", LR_AccountBanned},
            {LoginOutcome::AccountBanned, "forever", LR_AccountBannedUntil},
            {LoginOutcome::MachineBanned, "", LR_MachineBanned},
            {LoginOutcome::MachineBanned, "forever", LR_MachineBannedUntil},
            {LoginOutcome::FreeToPlayCapped, "", LR_FreeToPlayCapped},
            {LoginOutcome::NoLogin, "", LR_LoginNotAllowed},
            {LoginOutcome::AuthDown, "", LR_WrongPassKey},
        };
        for (const Case& c : cases) {
            account.outcome = c.outcome;
            account.banText = c.banText;
            EXPECT_EQ(Validate(login, port, id, passKey), c.result) << LoginOutcomeName(c.outcome);
            // A validate ban text is a date; without a text the ban has no end shown.
            EXPECT_EQ(login.outcomes.back().banText.empty(), std::string(c.banText).empty());
        }
        // A new sign-in replaces the pass key: the old one no longer validates.
        account.outcome = LoginOutcome::Accept;
        ASSERT_EQ(SignIn(login, port, "payer", "pw-payer"), LR_Success);
        EXPECT_NE(login.PassKey(), passKey);
        EXPECT_EQ(Validate(login, port, id, passKey), LR_WrongPassKey);
    });
}

TEST(LoginServer, AClosingAccountEndsInClosedConnectionAndASilentOneCanBeStopped) {
    RunOnWorker([] {
        TestLoginServer test;
        RecordingLogin login;
        uint16_t port = test.server.Port();
        EXPECT_EQ(SignIn(login, port, "closer", "pw-closer"), LR_ConnectionClosed);
        EXPECT_EQ(test.server.RequestsReceived(), 2u) << "one reconnect";
        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", port, "silent", "pw-silent", kTimeout));
        ASSERT_TRUE(PumpUntil([&] { return test.server.RequestsReceived() == 3; }));
        login.StopLogin();
        ASSERT_TRUE(login.WaitForOutcome(2));
        EXPECT_EQ(login.outcomes[1].result, LR_Stopped);
    });
}

// A client that only connects and sends what it is told.
class PlainClient : public ClientSession {
public:
    bool AppProcessMessage(const MsgBufferRef&) override { return true; }
    void AppSessionEstablished() override { established = true; }
    void AppCloseConnection() override { closed = true; }
    bool established = false;
    bool closed = false;
};

TEST(LoginServer, AMalformedRequestClosesOnlyItsOwnConnection) {
    RunOnWorker([] {
        TestLoginServer test;
        uint16_t port = test.server.Port();
        PlainClient bystander, sender;
        for (PlainClient* client : {&bystander, &sender}) {
            client->SetServer("127.0.0.1", port);
            ASSERT_TRUE(client->StartConnect(0));
        }
        ASSERT_TRUE(PumpUntil([&] { return bystander.established && sender.established; }));

        const std::string garbage("\x07\xEE\x05\x00\x01", 5);
        ASSERT_TRUE(sender.SendMessage(garbage.data(), static_cast<uint32_t>(garbage.size())));
        ASSERT_TRUE(PumpUntil([&] { return sender.closed; }));
        EXPECT_FALSE(bystander.closed);
        EXPECT_EQ(test.server.MalformedRequests(), 1u);

        // A reply message sent to the server is not a request either.
        PlainClient second;
        second.SetServer("127.0.0.1", port);
        ASSERT_TRUE(second.StartConnect(0));
        ASSERT_TRUE(PumpUntil([&] { return second.established; }));
        DMLRecord reply = logintest::MakeReply("MSG_USER_AUTHEN_RSP");
        std::string bytes = MessageManager::GetSingleton().MessageToBinary(reply);
        ASSERT_TRUE(second.SendMessage(bytes.data(), static_cast<uint32_t>(bytes.size())));
        ASSERT_TRUE(PumpUntil([&] { return second.closed; }));
        EXPECT_FALSE(bystander.closed);

        RecordingLogin login;
        EXPECT_EQ(SignIn(login, port, "payer", "pw-payer"), LR_Success);
        bystander.Close(true);
        sender.Close(true);
        second.Close(true);
        PumpFor(20);
    });
}

}  // namespace
