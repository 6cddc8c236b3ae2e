// The login client against a scripted server on loopback: what a sign-in sends, and how replies,
// time-outs, closed connections and stops end it (always in exactly one callback).
#include "PatchClientLogin.h"

#include <gtest/gtest.h>

#include "HYTcpListener.h"
#include "LauncherLog.h"
#include "MessageManager.h"
#include "OsFile.h"
#include "TempDir.h"
#include "login_test_support.h"

namespace logintest {
namespace {

constexpr uint32_t kTimeout = 20000;
const char* kTimedOut = "Timed out waiting for response from Login Server (error 108)";

std::string Text(const DMLRecord& record, const char* name) {
    const DMLField* field = record.FindField(name);
    return field ? field->ToStr() : std::string();
}

// A success reply in the session of `session` whose Rec1 holds `plainRec1`.
DMLRecord SuccessReply(ScriptedSession& session, const std::string& plainRec1) {
    DMLRecord reply = MakeReply("MSG_USER_AUTHEN_RSP");
    reply.GetField("Rec1").SetValue(
        std::string_view(ApplyRecordCipher(MakeRecordKey(session.Salt()), plainRec1)));
    reply.GetField("UserID").SetValue(uint64_t{42});
    reply.GetField("PayingUser").SetValue(int32_t{1});
    reply.GetField("JSessionID").SetValue("web-session");
    return reply;
}

// Answers a sign-in with `passKey` and a validation with success.
void AcceptAll(ScriptedSession& session, DMLRecord& request, const std::string& passKey) {
    DMLRecord reply = request.FindField("Rec1") ? SuccessReply(session, passKey)
                                                : MakeReply("MSG_USER_VALIDATE_RSP");
    session.Reply(reply);
}

TEST(PatchClientLogin, AuthenticateSendsTheProtectedRecordThenValidateUsesThePassKey) {
    LoadModules();
    RunOnWorker([] {
        ScriptedServer server([](ScriptedSession& s, DMLRecord& r) { AcceptAll(s, r, "  pk-1 more"); });
        RecordingLogin login;
        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", server.Port(), "Ann Lee", "pw", kTimeout));
        EXPECT_EQ(login.GetLoginState(), LS_Connecting);
        ASSERT_TRUE(login.WaitForOutcome());
        const auto& sent = server.received.at(0);
        EXPECT_EQ(sent.name, "MSG_USER_AUTHEN");
        EXPECT_EQ(ApplyRecordCipher(MakeRecordKey(sent.salt), Text(sent.request, "Rec1")),
                  std::to_string(sent.salt.sid) + " Ann Lee " +
                      HashText(HashText("pw") + SaltText(sent.salt)));
        EXPECT_EQ(Text(sent.request, "Locale"), "English");
        EXPECT_EQ(Text(sent.request, "PatchClientID"), "{00000000-1111-2222-3333-444444444444}");
        EXPECT_TRUE(login.outcomes[0].success);
        EXPECT_EQ(login.outcomes[0].accountId, 42u);
        EXPECT_EQ(login.outcomes[0].passKey, "pk-1");
        EXPECT_EQ(login.outcomes[0].paying, 1);
        EXPECT_EQ(login.WebSessionId(), "web-session");

        ASSERT_TRUE(login.ValidateUser("127.0.0.1", server.Port(), 42, login.PassKey(), kTimeout));
        ASSERT_TRUE(login.WaitForOutcome(2));
        const auto& validate = server.received.at(1);
        EXPECT_EQ(validate.request.FindField("UserID")->GetGID(), 42u);
        EXPECT_EQ(Text(validate.request, "PassKey3"), ComputePassKey3("pk-1", validate.salt));
        EXPECT_TRUE(login.outcomes[1].success);
        EXPECT_EQ(login.outcomes[1].paying, 0);
        int connections = server.connections;
        PumpFor(50);
        EXPECT_EQ(server.connections, connections) << "no connect of the session's own follows";
    });
}

TEST(PatchClientLogin, NamesUpTo320CodePointsGoUnchangedLongerOnesAreCutInvalidOnesSendNothing) {
    LoadModules();
    RunOnWorker([] {
        ScopedLogCapture log;
        ScriptedServer server([](ScriptedSession& s, DMLRecord& r) { AcceptAll(s, r, "pk"); });
        RecordingLogin login;
        std::string name320;
        for (int i = 0; i < 320; ++i) name320 += "\xC3\xA9";
        for (const std::string& name : {name320, name320 + "x"}) {
            ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", server.Port(), name, "pw", kTimeout));
            ASSERT_TRUE(login.WaitForOutcome(server.received.size() + 1));
            const auto& sent = server.received.back();
            std::string plain = ApplyRecordCipher(MakeRecordKey(sent.salt), Text(sent.request, "Rec1"));
            EXPECT_EQ(plain.substr(0, plain.rfind(' ')), std::to_string(sent.salt.sid) + " " + name320);
        }
        EXPECT_EQ(log->Count("Username is longer than account limit of 320 characters, truncating to 320."), 1);

        EXPECT_FALSE(login.AuthenticateUser("127.0.0.1", server.Port(), "ab\xC3", "pw", kTimeout));
        EXPECT_EQ(log->Count("Username was corrupted when converted to UTF-8"), 1);
        PumpFor(50);
        EXPECT_EQ(server.connections, 2);
        EXPECT_EQ(login.outcomes.size(), 2u);
    });
}

TEST(PatchClientLogin, RepliesWithoutAUsableRec1EndInWrongNameOrPassword) {
    LoadModules();
    RunOnWorker([] {
        int step = 0;
        ScriptedServer server([&](ScriptedSession& session, DMLRecord&) {
            DMLRecord reply = MakeReply("MSG_USER_AUTHEN_RSP");  // step 0: no Rec1
            if (step == 1) reply = SuccessReply(session, " \t ");  // decodes to white space
            if (step == 2) reply = SuccessReply(session, std::string(1536, 'k'));  // too long
            if (step == 3) {  // the message ends after its Error field
                std::string cut = MessageManager::GetSingleton().MessageToBinary(reply).substr(0, 8);
                cut[2] = 8, cut[3] = 0;
                session.SendMessage(cut.data(), 8);
                return;
            }
            session.Reply(reply);
        });
        RecordingLogin login;
        for (step = 0; step < 4; ++step) {
            ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", server.Port(), "ann", "pw", kTimeout));
            ASSERT_TRUE(login.WaitForOutcome(step + 1)) << step;
            EXPECT_EQ(login.outcomes[step].result, LR_WrongNameOrPassword) << step;
            EXPECT_EQ(login.PassKey(), "") << step;
        }
        PumpFor(30);
        EXPECT_EQ(login.outcomes.size(), 4u);
    });
}

TEST(PatchClientLogin, ReplyTimeOutsResendOncePerProcessThenReconnectTwiceThenFail) {
    LoadModules();
    ManualClock clock;
    RunOnWorker([&] {
        ScopedLogCapture log;
        ScriptedServer server(nullptr);  // never replies
        RecordingLogin login;
        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", server.Port(), "ann", "pw", kTimeout));
        // The first request, the one resend on the same connection, then two reconnects.
        const int connectionsAfter[] = {1, 1, 2, 3};
        for (size_t i = 0; i < 4; ++i) {
            ASSERT_TRUE(PumpUntil([&] { return server.received.size() == i + 1; })) << i;
            EXPECT_EQ(server.connections, connectionsAfter[i]) << i;
            EXPECT_TRUE(login.outcomes.empty());
            clock.Advance(kTimeout);
        }
        ASSERT_TRUE(login.WaitForOutcome());
        EXPECT_EQ(login.outcomes[0].result, LR_CommunicationError);
        EXPECT_EQ(log->Count("Attempting to reconnect after error 108"), 2);

        // A later sign-in of the same process neither resends nor reconnects.
        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", server.Port(), "ann", "pw", kTimeout));
        ASSERT_TRUE(PumpUntil([&] { return server.received.size() == 5; }));
        clock.Advance(kTimeout);
        ASSERT_TRUE(login.WaitForOutcome(2));
        EXPECT_EQ(login.outcomes[1].result, LR_CommunicationError);
        clock.Advance(5 * kTimeout);
        PumpFor(50);
        EXPECT_EQ(server.received.size(), 5u);
        EXPECT_EQ(login.outcomes.size(), 2u);
        EXPECT_EQ(log->Count(kTimedOut), 5);
    });
}

TEST(PatchClientLogin, AServerThatNeverOffersASessionGetsNoRequestAndEndsInCommunicationError) {
    LoadModules();
    ManualClock clock;
    RunOnWorker([&] {
        ScopedLogCapture log;
        std::vector<std::unique_ptr<HYTcpSocket>> accepted;  // connections that never speak
        HYTcpListener listener;
        ASSERT_EQ(listener.Listen(HYInetAddress(INADDR_LOOPBACK, 0),
                                  [&](std::unique_ptr<HYTcpSocket> s) { accepted.push_back(std::move(s)); }),
                  0);
        RecordingLogin login;
        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", listener.LocalAddress().Port(), "ann", "pw", kTimeout));
        for (size_t connections = 1; connections <= 3; ++connections) {
            ASSERT_TRUE(PumpUntil([&] { return accepted.size() == connections; }));
            clock.Advance(kTimeout);
        }
        ASSERT_TRUE(login.WaitForOutcome());
        EXPECT_EQ(login.outcomes[0].result, LR_CommunicationError);
        EXPECT_EQ(login.ResendCount(), 0u) << "nothing was sent that could be repeated";
        EXPECT_EQ(log->Count(kTimedOut), 3);
    });
}

TEST(PatchClientLogin, AClosingServerGetsOneReconnectPerProcessThenClosedConnectionEndsTheSignIn) {
    LoadModules();
    ManualClock clock;
    RunOnWorker([&] {
        ScriptedServer server([](ScriptedSession& session, DMLRecord&) { session.Close(true); });
        RecordingLogin login;
        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", server.Port(), "ann", "pw", kTimeout));
        ASSERT_TRUE(login.WaitForOutcome());
        EXPECT_EQ(login.outcomes[0].result, LR_ConnectionClosed);
        EXPECT_EQ(server.connections, 2);
        clock.Advance(5000);
        PumpFor(50);
        EXPECT_EQ(server.connections, 2) << "no connect of the session's own after the end";

        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", server.Port(), "ann", "pw", kTimeout));
        ASSERT_TRUE(login.WaitForOutcome(2));
        EXPECT_EQ(login.outcomes[1].result, LR_ConnectionClosed);
        EXPECT_EQ(server.connections, 3) << "the reconnect is spent";
    });
}

TEST(PatchClientLogin, AStopWhileConnectingOrWaitingEndsInOneCallbackWithResultStopped) {
    LoadModules();
    ManualClock clock;
    RunOnWorker([&] {
        ScriptedServer server(nullptr);
        RecordingLogin login;
        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", server.Port(), "ann", "pw", kTimeout));
        login.StopLogin();
        EXPECT_TRUE(login.IsStopping());
        ASSERT_TRUE(login.WaitForOutcome());
        ASSERT_TRUE(login.ValidateUser("127.0.0.1", server.Port(), 7, "pk", kTimeout));
        ASSERT_TRUE(PumpUntil([&] { return !server.received.empty(); }));
        login.StopLogin();
        ASSERT_TRUE(login.WaitForOutcome(2));
        clock.Advance(10 * kTimeout);
        PumpFor(50);
        ASSERT_EQ(login.outcomes.size(), 2u);
        EXPECT_EQ(login.outcomes[0].result, LR_Stopped);
        EXPECT_EQ(login.outcomes[1].result, LR_Stopped);
        EXPECT_EQ(server.received.size(), 1u) << "the stopped connect sent nothing";
    });
}

TEST(PatchClientLogin, FailedConnectsAndBadCallsEndWithoutRetriesOrStrayCallbacks) {
    ManualClock clock;
    RunOnWorker([&] {
        ScopedLogCapture log;
        MessageManager::GetSingleton().UnloadAll();
        PatchClientLogin fresh;
        EXPECT_FALSE(fresh.AuthenticateUser("127.0.0.1", 1, "ann", "pw", kTimeout));
        EXPECT_FALSE(fresh.Initialize("/nonexistent-data-directory", ""));
        EXPECT_EQ(log->Count("Failed to initialize PatchClientID"), 1);
        EXPECT_EQ(log->Count("Unable to initialize PatchClientLogin: Fail to load message modules"), 1);

        RecordingLogin login;  // loads the modules again
        uint16_t closedPort;
        {
            HYTcpListener probe;
            ASSERT_EQ(probe.Listen(HYInetAddress(INADDR_LOOPBACK, 0), nullptr), 0);
            closedPort = probe.LocalAddress().Port();
        }
        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", closedPort, "ann", "pw", kTimeout));
        EXPECT_FALSE(login.ValidateUser("127.0.0.1", closedPort, 1, "pk", kTimeout)) << "busy";
        EXPECT_FALSE(login.Initialize(HY_DATA_SOURCE_DIR, "id")) << "busy";
        ASSERT_TRUE(login.WaitForOutcome());
        EXPECT_EQ(login.outcomes[0].result, LR_ConnectFailed);
        clock.Advance(5000);
        PumpFor(50);
        EXPECT_EQ(login.ConnectAttempts(), 1u) << "the session does not retry after the end";
        EXPECT_FALSE(login.AuthenticateUser("127.0.0.1", closedPort, "", "pw", kTimeout));
        EXPECT_FALSE(login.ValidateUser("127.0.0.1", closedPort, 1, "", kTimeout));
        EXPECT_FALSE(login.AuthenticateUser("no-such-host.invalid", 4000, "ann", "pw", kTimeout));
        EXPECT_EQ(login.GetLoginState(), LS_Idle);
        EXPECT_EQ(login.outcomes.size(), 1u);
    });
}

TEST(PatchClientLogin, NoSecretReachesTheLogFile) {
    LoadModules();
    hytest::TempDir dir;
    std::string logFile = dir / "LarkLauncher.Log.txt";
    ASSERT_EQ(HYLog::StartLauncherLog(logFile), 0);
    const std::string password = "Pa55-word-xyz", passKey = "passkey0123456789abcdef";
    std::vector<std::string> secrets = {password, passKey, HashText(password)};
    RunOnWorker([&] {
        ScriptedServer server([&](ScriptedSession& s, DMLRecord& r) { AcceptAll(s, r, passKey); });
        RecordingLogin login;
        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", server.Port(), "ann", password, kTimeout));
        ASSERT_TRUE(login.WaitForOutcome());
        ASSERT_TRUE(login.ValidateUser("127.0.0.1", server.Port(), 42, login.PassKey(), kTimeout));
        ASSERT_TRUE(login.WaitForOutcome(2));
        secrets.push_back(HashText(HashText(password) + SaltText(server.received.at(0).salt)));
        secrets.push_back(Text(server.received.at(1).request, "PassKey3"));
    });
    HYLog::StopLogging();
    std::string content;
    ASSERT_TRUE(HY_OS::ReadWholeFile(logFile, content));
    for (const std::string& secret : secrets) EXPECT_EQ(content.find(secret), std::string::npos) << secret;
    for (const char* line : {"PassKey 2 is  ***", "PassKey 3 is  ***", "   ClientKey:  ***",
                             "MSG_USER_AUTHEN_RSP: Success. Paying=1"})
        EXPECT_NE(content.find(line), std::string::npos) << line;
}

}  // namespace
}  // namespace logintest
