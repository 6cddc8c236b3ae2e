// The login client against a scripted server on loopback: what a sign-in sends, how replies,
// time-outs, closed connections and stops end it (always in exactly one callback), and that no
// secret reaches the log file.
#include "PatchClientLogin.h"

#include <gtest/gtest.h>
#include <netinet/in.h>

#include <filesystem>

#include "HYTcpListener.h"
#include "LauncherLog.h"
#include "MessageManager.h"
#include "OsFile.h"
#include "login_test_support.h"

namespace logintest {
namespace {


constexpr uint32_t kTimeout = 20000;

std::string Text(const DMLRecord& record, const char* name) {
    const DMLField* field = record.FindField(name);
    return field ? field->ToStr() : std::string();
}

// A success reply for the session of `session`, carrying `plainRec1` encrypted.
DMLRecord SuccessReply(ScriptedSession& session, const std::string& plainRec1) {
    DMLRecord reply = MakeReply("MSG_USER_AUTHEN_RSP");
    reply.GetField("Error").SetValue(uint32_t{0});
    reply.GetField("Rec1").SetValue(
        std::string_view(ApplyRecordCipher(MakeRecordKey(session.Salt()), plainRec1)));
    reply.GetField("UserID").SetValue(uint64_t{42});
    reply.GetField("PayingUser").SetValue(int32_t{1});
    reply.GetField("JSessionID").SetValue("web-session");
    return reply;
}

TEST(PatchClientLogin, AuthenticateSendsTheProtectedRecordThenValidateUsesThePassKey) {
    LoadModules();
    RunOnWorker([] {
        ScriptedServer server([](ScriptedSession& session, DMLRecord& request) {
            if (request.FindField("Rec1")) {
                DMLRecord reply = SuccessReply(session, "  pass-key-1 trailing words");
                session.Reply(reply);
            } else {
                DMLRecord reply = MakeReply("MSG_USER_VALIDATE_RSP");
                reply.GetField("PayingUser").SetValue(int32_t{0});
                session.Reply(reply);
            }
        });
        RecordingLogin login;
        EXPECT_EQ(login.GetLoginState(), LS_Idle);
        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", server.Port(), "Ann Lee", "pw", kTimeout));
        EXPECT_EQ(login.GetLoginState(), LS_Connecting);
        ASSERT_TRUE(login.WaitForOutcome());

        ASSERT_EQ(server.received.size(), 1u);
        const auto& sent = server.received[0];
        EXPECT_EQ(sent.name, "MSG_USER_AUTHEN");
        std::string clientKey = HashText(HashText("pw") + SaltText(sent.salt));
        EXPECT_EQ(ApplyRecordCipher(MakeRecordKey(sent.salt), Text(sent.request, "Rec1")),
                  std::to_string(sent.salt.sid) + " Ann Lee " + clientKey);
        EXPECT_EQ(Text(sent.request, "Locale"), "English");
        EXPECT_EQ(Text(sent.request, "PatchClientID"), "{00000000-1111-2222-3333-444444444444}");
        EXPECT_EQ(Text(sent.request, "IsSteamPatcher"), "0");
        EXPECT_TRUE(sent.request.HasField("MachineID"));

        ASSERT_EQ(login.outcomes.size(), 1u);
        EXPECT_TRUE(login.outcomes[0].success);
        EXPECT_EQ(login.outcomes[0].accountId, 42u);
        EXPECT_EQ(login.outcomes[0].passKey, "pass-key-1");
        EXPECT_EQ(login.outcomes[0].paying, 1);
        EXPECT_EQ(login.WebSessionId(), "web-session");
        EXPECT_EQ(login.GetLoginState(), LS_Idle);

        ASSERT_TRUE(login.ValidateUser("127.0.0.1", server.Port(), login.AccountId(),
                                       login.PassKey(), kTimeout));
        ASSERT_TRUE(login.WaitForOutcome(2));
        ASSERT_EQ(server.received.size(), 2u);
        const auto& validate = server.received[1];
        EXPECT_EQ(validate.name, "MSG_USER_VALIDATE");
        EXPECT_EQ(validate.request.FindField("UserID")->GetGID(), 42u);
        EXPECT_EQ(Text(validate.request, "PassKey3"), ComputePassKey3("pass-key-1", validate.salt));
        EXPECT_NE(validate.salt.sid, sent.salt.sid) << "a new session, so a new PassKey3";
        EXPECT_TRUE(login.outcomes[1].success);
        EXPECT_EQ(login.outcomes[1].paying, 0);

        // The session ended with the sign-in: no connect of its own follows.
        int connections = server.connections;
        PumpFor(50);
        EXPECT_EQ(server.connections, connections);
    });
}

TEST(PatchClientLogin, NamesUpTo320CodePointsGoUnchangedLongerOnesAreCutInvalidOnesSendNothing) {
    LoadModules();
    RunOnWorker([] {
        ScopedLogCapture log;
        ScriptedServer server([](ScriptedSession& session, DMLRecord&) {
            DMLRecord reply = SuccessReply(session, "pk");
            session.Reply(reply);
        });
        RecordingLogin login;
        std::string name320;
        for (int i = 0; i < 320; ++i) name320 += "\xC3\xA9";
        const char* kCut = "Username is longer than account limit of 320 characters, truncating to 320.";

        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", server.Port(), name320, "pw", kTimeout));
        ASSERT_TRUE(login.WaitForOutcome(1));
        EXPECT_EQ(login.AccountName(), name320);
        EXPECT_EQ(log->Count(kCut), 0);

        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", server.Port(), name320 + "x", "pw", kTimeout));
        ASSERT_TRUE(login.WaitForOutcome(2));
        EXPECT_EQ(login.AccountName(), name320);
        EXPECT_EQ(log->Count(kCut), 1);
        ASSERT_EQ(server.received.size(), 2u);
        const auto& sent = server.received[1];
        std::string plain = ApplyRecordCipher(MakeRecordKey(sent.salt), Text(sent.request, "Rec1"));
        EXPECT_EQ(plain.substr(0, plain.rfind(' ')), std::to_string(sent.salt.sid) + " " + name320);

        int connections = server.connections;
        EXPECT_FALSE(login.AuthenticateUser("127.0.0.1", server.Port(), "ab\xC3", "pw", kTimeout));
        EXPECT_EQ(log->Count("Username was corrupted when converted to UTF-8"), 1);
        PumpFor(50);
        EXPECT_EQ(server.connections, connections);
        EXPECT_EQ(login.outcomes.size(), 2u);
        EXPECT_EQ(login.GetLoginState(), LS_Idle);
    });
}

TEST(PatchClientLogin, RepliesWithoutAUsableRec1EndInWrongNameOrPassword) {
    LoadModules();
    RunOnWorker([] {
        int step = 0;
        ScriptedServer server([&](ScriptedSession& session, DMLRecord&) {
            DMLRecord reply = MakeReply("MSG_USER_AUTHEN_RSP");
            switch (step) {
                case 0:  // Error 0, no Rec1
                    break;
                case 1:  // a Rec1 that decodes to white space only
                    reply = SuccessReply(session, " \t ");
                    break;
                case 2:  // a Rec1 above the size limit
                    reply = SuccessReply(session, std::string(1536, 'k'));
                    break;
                case 3: {  // a body that ends after the Error field
                    std::string bytes = MessageManager::GetSingleton().MessageToBinary(reply);
                    std::string cut = bytes.substr(0, 8);
                    cut[2] = 8;
                    cut[3] = 0;
                    session.SendMessage(cut.data(), static_cast<uint32_t>(cut.size()));
                    return;
                }
            }
            session.Reply(reply);
        });
        RecordingLogin login;
        for (step = 0; step < 4; ++step) {
            ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", server.Port(), "ann", "pw", kTimeout));
            ASSERT_TRUE(login.WaitForOutcome(step + 1)) << step;
            EXPECT_FALSE(login.outcomes[step].success) << step;
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
        ASSERT_TRUE(PumpUntil([&] { return server.received.size() == 1; }));

        clock.Advance(kTimeout);  // the one resend, on the same connection
        ASSERT_TRUE(PumpUntil([&] { return server.received.size() == 2; }));
        EXPECT_EQ(server.connections, 1);
        EXPECT_EQ(login.ResendCount(), 1u);

        clock.Advance(kTimeout);  // communication error: first reconnect
        ASSERT_TRUE(PumpUntil([&] { return server.received.size() == 3; }));
        EXPECT_EQ(server.connections, 2);
        clock.Advance(kTimeout);  // second reconnect
        ASSERT_TRUE(PumpUntil([&] { return server.received.size() == 4; }));
        EXPECT_EQ(server.connections, 3);
        EXPECT_EQ(login.ReconnectCount(), 2u);
        EXPECT_TRUE(login.outcomes.empty());

        clock.Advance(kTimeout);  // no reconnect left
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
        EXPECT_EQ(server.connections, 4);
        EXPECT_EQ(login.outcomes.size(), 2u);
        EXPECT_EQ(log->Count("Timed out waiting for response from Login Server (error 108)"), 5);
    });
}

TEST(PatchClientLogin, AServerThatClosesGetsOneReconnectThenTheSignInEndsWithClosedConnection) {
    LoadModules();
    ManualClock clock;
    RunOnWorker([&] {
        ScopedLogCapture log;
        ScriptedServer server([](ScriptedSession& session, DMLRecord&) { session.Close(true); });
        RecordingLogin login;
        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", server.Port(), "ann", "pw", kTimeout));
        ASSERT_TRUE(login.WaitForOutcome());
        EXPECT_EQ(login.outcomes[0].result, LR_ConnectionClosed);
        EXPECT_EQ(server.received.size(), 2u);
        EXPECT_EQ(server.connections, 2);
        EXPECT_EQ(log->Count("Attempting to reconnect after error 109"), 1);
        clock.Advance(5000);
        PumpFor(50);
        EXPECT_EQ(server.connections, 2) << "no connect of the session's own after the end";
        EXPECT_EQ(login.outcomes.size(), 1u);

        // The closed connection's reconnect is spent for the process: the next close ends at once.
        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", server.Port(), "ann", "pw", kTimeout));
        ASSERT_TRUE(login.WaitForOutcome(2));
        EXPECT_EQ(login.outcomes[1].result, LR_ConnectionClosed);
        EXPECT_EQ(server.connections, 3);
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
        EXPECT_EQ(login.outcomes[0].result, LR_Stopped);

        ASSERT_TRUE(login.ValidateUser("127.0.0.1", server.Port(), 7, "pk", kTimeout));
        ASSERT_TRUE(PumpUntil([&] { return !server.received.empty(); }));
        login.StopLogin();
        ASSERT_TRUE(login.WaitForOutcome(2));
        EXPECT_EQ(login.outcomes[1].result, LR_Stopped);

        clock.Advance(10 * kTimeout);
        PumpFor(50);
        EXPECT_EQ(login.outcomes.size(), 2u);
        EXPECT_EQ(server.received.size(), 1u) << "the stopped connect sent nothing";
        login.StopLogin();  // idle: nothing happens
        PumpFor(20);
        EXPECT_EQ(login.outcomes.size(), 2u);
    });
}

TEST(PatchClientLogin, AFailedConnectPassesTheSessionReasonOnAndIsNotRetried) {
    LoadModules();
    ManualClock clock;
    RunOnWorker([&] {
        uint16_t port;
        {
            HYTcpListener probe;
            ASSERT_EQ(probe.Listen(HYInetAddress(INADDR_LOOPBACK, 0), nullptr), 0);
            port = probe.LocalAddress().Port();
        }
        RecordingLogin login;
        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", port, "ann", "pw", kTimeout));
        ASSERT_TRUE(login.WaitForOutcome());
        EXPECT_EQ(login.outcomes[0].result, LR_ConnectFailed);
        clock.Advance(5000);
        PumpFor(50);
        EXPECT_EQ(login.ConnectAttempts(), 1u);

        EXPECT_FALSE(login.AuthenticateUser("no-such-host.invalid", 4000, "ann", "pw", kTimeout));
        EXPECT_EQ(login.GetLoginState(), LS_Idle);
    });
}

TEST(PatchClientLogin, RefusesSignInsOutsideIdleOrWithoutCredentials) {
    LoadModules();
    RunOnWorker([] {
        ScopedLogCapture log;
        PatchClientLogin fresh;
        EXPECT_FALSE(fresh.AuthenticateUser("127.0.0.1", 1, "ann", "pw", kTimeout))
            << "not initialised";
        ScriptedServer server(nullptr);
        RecordingLogin login;
        EXPECT_FALSE(login.AuthenticateUser("127.0.0.1", server.Port(), "", "pw", kTimeout));
        EXPECT_FALSE(login.ValidateUser("127.0.0.1", server.Port(), 1, "", kTimeout));
        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", server.Port(), "ann", "pw", kTimeout));
        EXPECT_FALSE(login.ValidateUser("127.0.0.1", server.Port(), 1, "pk", kTimeout));
        EXPECT_FALSE(login.Initialize(HY_DATA_SOURCE_DIR, "id"));
        EXPECT_EQ(log->Count("Unable to initialize PatchClientLogin: Invalid state"), 1);
        EXPECT_EQ(log->Count("Unable to authenticate user: Invalid login state or username is missing"), 2);
        EXPECT_EQ(log->Count("Unable to validate user: Invalid login state or passkey is missing"), 2);
        login.StopLogin();
        ASSERT_TRUE(login.WaitForOutcome());
    });
}

TEST(PatchClientLogin, NoSecretReachesTheLogFile) {
    LoadModules();
    std::string dir = (std::filesystem::temp_directory_path() /
                       ("login_log_" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(dir);
    std::string logFile = HY_OS::JoinPath(dir, "LarkLauncher.Log.txt");
    ASSERT_EQ(HYLog::StartLauncherLog(logFile), 0);
    const std::string password = "Pa55-word-xyz";
    const std::string passKey = "passkey0123456789abcdef";
    std::vector<std::string> secrets = {password, passKey};
    RunOnWorker([&] {
        ScriptedServer server([&](ScriptedSession& session, DMLRecord& request) {
            if (request.FindField("Rec1")) {
                DMLRecord reply = SuccessReply(session, passKey);
                session.Reply(reply);
            } else {
                DMLRecord reply = MakeReply("MSG_USER_VALIDATE_RSP");
                session.Reply(reply);
            }
        });
        RecordingLogin login;
        ASSERT_TRUE(login.AuthenticateUser("127.0.0.1", server.Port(), "ann", password, kTimeout));
        ASSERT_TRUE(login.WaitForOutcome());
        ASSERT_TRUE(login.ValidateUser("127.0.0.1", server.Port(), 42, login.PassKey(), kTimeout));
        ASSERT_TRUE(login.WaitForOutcome(2));
        ASSERT_EQ(server.received.size(), 2u);
        secrets.push_back(HashText(HashText(password) + SaltText(server.received[0].salt)));
        secrets.push_back(HashText(password));
        secrets.push_back(Text(server.received[1].request, "PassKey3"));
    });
    HYLog::StopLogging();
    std::string content;
    ASSERT_TRUE(HY_OS::ReadWholeFile(logFile, content));
    for (const std::string& secret : secrets) EXPECT_EQ(content.find(secret), std::string::npos) << secret;
    EXPECT_NE(content.find("PassKey 2 is  ***"), std::string::npos);
    EXPECT_NE(content.find("PassKey 3 is  ***"), std::string::npos);
    EXPECT_NE(content.find("   ClientKey:  ***"), std::string::npos);
    EXPECT_NE(content.find("MSG_USER_AUTHEN_RSP: Success. Paying=1"), std::string::npos);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace logintest
