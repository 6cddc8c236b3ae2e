// The login client against the development login server in the same process: every result the
// accounts give, pass keys issued and validated, and malformed requests closing only their own
// connection.
#include "LoginServer.h"

#include <gtest/gtest.h>
#include <netinet/in.h>

#include "ClientSession.h"
#include "login_test_support.h"

namespace {

using namespace logintest;
constexpr uint32_t kTimeout = 20000;

struct AccountCase {
    const char* name;
    LoginOutcome outcome;
    const char* banText;
    int result;  // of a sign-in with the right password
};

const AccountCase kAccounts[] = {
    {"payer", LoginOutcome::Accept, "", LR_Success},
    {"capped", LoginOutcome::FreeToPlayCapped, "", LR_FreeToPlayCapped},
    {"banned", LoginOutcome::AccountBanned, "", LR_AccountBanned},
    {"banned until", LoginOutcome::AccountBanned, "forever", LR_AccountBannedUntil},
    {"machine", LoginOutcome::MachineBanned, "", LR_MachineBanned},
    {"machine until", LoginOutcome::MachineBanned, "3d", LR_MachineBannedUntil},
    {"nologin", LoginOutcome::NoLogin, "", LR_LoginNotAllowed},
    {"down", LoginOutcome::AuthDown, "", LR_AuthServerDown},
    {"authbanned", LoginOutcome::AuthBanned, "", LR_AuthBanned},
    {"quarantined", LoginOutcome::Quarantined, "", LR_Quarantined},
    {"mismatch", LoginOutcome::Mismatch, "", LR_AccountClientMismatch},
    {"badrec", LoginOutcome::BadRecord, "", LR_WrongNameOrPassword},
    {"closer", LoginOutcome::CloseConnection, "", LR_ConnectionClosed},
    {"silent", LoginOutcome::Silent, "", -1},
};

// A server on 127.0.0.1 with the accounts above; each password is "pw-" and the name.
struct TestLoginServer {
    TestLoginServer() : server(MakeAccounts()) {
        LoadModules();
        EXPECT_EQ(server.Listen(HYInetAddress(INADDR_LOOPBACK, 0)), 0);
    }
    static LoginAccounts MakeAccounts() {
        LoginAccounts accounts;
        std::string error;
        for (const AccountCase& c : kAccounts) {
            LoginAccount account{c.name, HashText(std::string("pw-") + c.name), 0, 1, c.outcome, c.banText};
            EXPECT_TRUE(accounts.Add(account, error)) << error;
        }
        return accounts;
    }
    LoginServer server;
};

// The result of the callback of one sign-in (-1 when none came).
int SignIn(RecordingLogin& login, uint16_t port, const std::string& name, const std::string& password) {
    size_t before = login.outcomes.size();
    if (!login.AuthenticateUser("127.0.0.1", port, name, password, kTimeout) ||
        !login.WaitForOutcome(before + 1))
        return -1;
    return login.outcomes.back().result;
}

int Validate(RecordingLogin& login, uint16_t port, uint64_t id, const std::string& passKey) {
    size_t before = login.outcomes.size();
    if (!login.ValidateUser("127.0.0.1", port, id, passKey, kTimeout) || !login.WaitForOutcome(before + 1))
        return -1;
    return login.outcomes.back().result;
}

TEST(LoginServer, EachAccountOutcomeGivesItsSignInResult) {
    RunOnWorker([] {
        TestLoginServer test;
        RecordingLogin login;
        uint16_t port = test.server.Port();
        for (const AccountCase& c : kAccounts) {
            if (c.result < 0) continue;
            EXPECT_EQ(SignIn(login, port, c.name, std::string("pw-") + c.name), c.result) << c.name;
            EXPECT_EQ(login.outcomes.back().banText, c.banText) << c.name;
        }
        EXPECT_EQ(SignIn(login, port, "payer", "wrong"), LR_WrongNameOrPassword);
        EXPECT_EQ(SignIn(login, port, "nobody", "pw-nobody"), LR_WrongNameOrPassword);

        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", port, "silent", "pw-silent", kTimeout));
        uint64_t requests = test.server.RequestsReceived();
        ASSERT_TRUE(PumpUntil([&] { return test.server.RequestsReceived() > requests; }));
        login.StopLogin();
        ASSERT_TRUE(login.WaitForOutcome(std::size(kAccounts) + 2));
        EXPECT_EQ(login.outcomes.back().result, LR_Stopped);
        EXPECT_EQ(test.server.MalformedRequests(), 0u);
    });
}

TEST(LoginServer, ASuccessfulSignInIssuesAPassKeyThatValidatesUntilTheNextSignIn) {
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
        EXPECT_EQ(Validate(login, port, id, "not-the-key"), LR_WrongPassKey);
        EXPECT_EQ(Validate(login, port, id + 1, passKey), LR_WrongPassKey);

        LoginAccount& account = *test.server.Accounts().FindByName("payer");
        const AccountCase cases[] = {
            {"", LoginOutcome::AccountBanned, "", LR_AccountBanned},
            {"", LoginOutcome::AccountBanned, "forever", LR_AccountBannedUntil},
            {"", LoginOutcome::MachineBanned, "", LR_MachineBanned},
            {"", LoginOutcome::MachineBanned, "forever", LR_MachineBannedUntil},
            {"", LoginOutcome::FreeToPlayCapped, "", LR_FreeToPlayCapped},
            {"", LoginOutcome::NoLogin, "", LR_LoginNotAllowed},
            {"", LoginOutcome::AuthDown, "", LR_WrongPassKey},
        };
        for (const AccountCase& c : cases) {
            account.outcome = c.outcome;
            account.banText = c.banText;
            EXPECT_EQ(Validate(login, port, id, passKey), c.result) << LoginOutcomeName(c.outcome);
            // A validation's ban text is a date, shown only when the server sent a time stamp.
            EXPECT_EQ(login.outcomes.back().banText.empty(), *c.banText == '\0');
        }
        account.outcome = LoginOutcome::Accept;
        ASSERT_EQ(SignIn(login, port, "payer", "pw-payer"), LR_Success);
        EXPECT_EQ(Validate(login, port, id, passKey), LR_WrongPassKey) << "the old key is replaced";
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
        PlainClient bystander, sender;
        for (PlainClient* client : {&bystander, &sender}) {
            client->SetServer("127.0.0.1", test.server.Port());
            ASSERT_TRUE(client->StartConnect(0));
        }
        ASSERT_TRUE(PumpUntil([&] { return bystander.established && sender.established; }));
        ASSERT_TRUE(sender.SendMessage("\x07\xEE\x05\x00\x01", 5));  // not a login request
        ASSERT_TRUE(PumpUntil([&] { return sender.closed; }));
        EXPECT_FALSE(bystander.closed);
        EXPECT_EQ(test.server.MalformedRequests(), 1u);
        RecordingLogin login;
        EXPECT_EQ(SignIn(login, test.server.Port(), "payer", "pw-payer"), LR_Success);
        bystander.Close(true);
        PumpFor(20);
    });
}

}  // namespace
