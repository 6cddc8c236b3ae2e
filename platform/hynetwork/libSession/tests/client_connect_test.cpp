// Connecting a client session: name resolution, failures and their reasons, the retry delay,
// reconnecting, closing while connecting, and the one-connection rule.
#include "ClientSession.h"

#include <gtest/gtest.h>

#include "HYThread.h"
#include "session_test_support.h"

namespace nettest {
namespace {

uint16_t ClosedPort() {
    HYTcpListener probe;
    EXPECT_EQ(probe.Listen(HYInetAddress(INADDR_LOOPBACK, 0), nullptr), 0);
    return probe.LocalAddress().Port();  // released when the probe goes
}

TEST(ClientConnect, AnUnresolvableNameFailsAtOnceWithoutCallbacks) {
    RunOnWorker([] {
        ScopedLogCapture log;
        RecordingClient client;
        client.SetServer("no-such-host.invalid", 4000);
        EXPECT_FALSE(client.StartConnect(0));
        EXPECT_EQ(log->Count("Failed to resolve server address (no-such-host.invalid)."), 1);
        PumpFor(20);
        EXPECT_TRUE(client.events.empty());
        EXPECT_EQ(client.State(), SS_Initial);
    });
}

TEST(ClientConnect, AClosedPortGivesReasonFourOnceWhenThereIsNoRetryDelay) {
    ManualClock clock;
    RunOnWorker([&] {
        ScopedLogCapture log;
        RecordingClient client;
        client.SetServer("127.0.0.1", ClosedPort());
        ASSERT_TRUE(client.StartConnect(0));
        EXPECT_EQ(log->Count("Server address (127.0.0.1) resolved to (127.0.0.1) ."), 1);
        EXPECT_EQ(client.State(), SS_Connecting);
        ASSERT_TRUE(PumpUntil([&] { return !client.events.empty(); }));
        EXPECT_EQ(client.events, std::vector<std::string>{"ConnectFailed 4"});
        EXPECT_EQ(client.FailureReason(), CFR_ConnectFailed);
        EXPECT_EQ(client.State(), SS_Closed);
        clock.Advance(60000);
        PumpFor(30);
        EXPECT_EQ(client.ConnectAttempts(), 1u);
        EXPECT_EQ(client.events.size(), 1u);
    });
}

TEST(ClientConnect, WithARetryDelayANewAttemptFollowsOneSecondLaterUntilClosedWithAbort) {
    ManualClock clock;
    RunOnWorker([&] {
        RecordingClient client;
        client.SetRetryDelay(1000);
        client.SetServer("127.0.0.1", ClosedPort());
        ASSERT_TRUE(client.StartConnect(0));
        ASSERT_TRUE(PumpUntil([&] { return client.Count("ConnectFailed 4") == 1; }));
        clock.Advance(999);
        PumpFor(20);
        EXPECT_EQ(client.ConnectAttempts(), 1u);
        clock.Advance(1);
        ASSERT_TRUE(PumpUntil([&] { return client.Count("ConnectFailed 4") == 2; }));
        EXPECT_EQ(client.ConnectAttempts(), 2u);

        client.Close(true);
        EXPECT_TRUE(client.IsClosing());
        clock.Advance(5000);
        PumpFor(30);
        EXPECT_EQ(client.ConnectAttempts(), 2u);
        client.Reconnect();
        EXPECT_EQ(client.ConnectAttempts(), 2u) << "Reconnect does nothing while closing";
        EXPECT_EQ(client.Count("Closed"), 0) << "no connection was open";
    });
}

TEST(ClientConnect, AReconnectStepThatCannotStartReportsReasonOneAndRetries) {
    ManualClock clock;
    RunOnWorker([&] {
        RecordingClient client;
        client.SetServer("no-such-host.invalid", 4000);
        client.Reconnect();
        EXPECT_EQ(client.events, std::vector<std::string>{"ConnectFailed 1"});
        clock.Advance(10000);
        PumpFor(20);
        EXPECT_EQ(client.events.size(), 1u) << "no retry delay, no retry";

        client.SetRetryDelay(1000);
        client.Reconnect();
        clock.Advance(1000);
        ASSERT_TRUE(PumpUntil([&] { return client.Count("ConnectFailed 1") == 3; }));
    });
}

TEST(ClientConnect, AfterTheServerClosesAReconnectFromTheCallbackConnectsAgain) {
    RunOnWorker([] {
        TestServer server;
        RecordingClient client;
        client.onClose = [&] { client.Reconnect(); };
        client.SetServer("127.0.0.1", server.Port());
        ASSERT_TRUE(client.StartConnect(0));
        ASSERT_TRUE(PumpUntil([&] { return client.Count("Established") == 1; }));
        uint16_t firstId = client.Record().serverSessionId;
        server.First()->Close(true);
        ASSERT_TRUE(PumpUntil([&] { return client.Count("Established") == 2; }));
        EXPECT_EQ(client.events, (std::vector<std::string>{"ConnectComplete state=2", "Established", "Closed",
                                                           "ConnectComplete state=2", "Established"}));
        EXPECT_NE(client.Record().serverSessionId, firstId);
        PumpFor(20);
        EXPECT_EQ(server.Server().SessionCount(), 1u);
    });
}

TEST(ClientConnect, ASessionNeverHoldsMoreThanOneConnection) {
    ManualClock clock;
    RunOnWorker([&] {
        TestServer server;
        RecordingClient client;
        client.SetRetryDelay(1000);
        client.SetServer("127.0.0.1", server.Port());
        ASSERT_TRUE(client.StartConnect(0));
        ASSERT_TRUE(client.StartConnect(0)) << "the second connect replaces the first";
        ASSERT_TRUE(PumpUntil([&] { return client.Count("Established") == 1; }));
        PumpFor(30);
        EXPECT_EQ(server.Server().SessionCount(), 1u);
        EXPECT_EQ(client.Count("ConnectComplete"), 1);

        // As a login client does: reconnect from the close callback; the retry timer started
        // after it then finds the new connection and leaves it alone.
        client.onClose = [&] { client.Reconnect(); };
        server.First()->Close(true);
        ASSERT_TRUE(PumpUntil([&] { return client.Count("Established") == 2; }));
        uint32_t attempts = client.ConnectAttempts();
        clock.Advance(1000);
        PumpFor(40);
        EXPECT_EQ(client.ConnectAttempts(), attempts);
        EXPECT_EQ(client.State(), SS_Established);
        EXPECT_EQ(server.Server().SessionCount(), 1u);
    });
}

TEST(ClientConnect, ClosingWhileConnectingReportsTheCloseAndNothingElse) {
    RunOnWorker([] {
        TestServer server;
        RecordingClient client;
        client.SetRetryDelay(1000);
        client.SetServer("127.0.0.1", server.Port());
        ASSERT_TRUE(client.StartConnect(0));
        client.Close(true);
        client.Close(true);
        PumpFor(40);
        EXPECT_EQ(client.events, std::vector<std::string>{"Closed"});
        EXPECT_EQ(client.State(), SS_Closed);
        EXPECT_FALSE(client.ConnectPending());

        // StartConnect does not look at the closing mark, and a new connection clears it.
        ASSERT_TRUE(client.StartConnect(0));
        ASSERT_TRUE(PumpUntil([&] { return client.Count("Established") == 1; }));
        EXPECT_FALSE(client.IsClosing());
    });
}

TEST(ClientConnect, AGracefulCloseSendsWhatIsQueuedFirst) {
    RunOnWorker([] {
        TestServer server;
        RecordingClient client;
        client.SetServer("127.0.0.1", server.Port());
        ASSERT_TRUE(client.StartConnect(0));
        ASSERT_TRUE(PumpUntil([&] { return client.Count("Established") == 1; }));
        RecordingServerSession* session = server.First();
        for (int i = 0; i < 50; ++i) ASSERT_TRUE(client.SendMessage("last words", 10));
        client.Close(false);
        EXPECT_FALSE(client.SendMessage("too late", 8));
        ASSERT_TRUE(PumpUntil([&] { return client.Count("Closed") == 1; }));
        ASSERT_TRUE(PumpUntil([&] { return session->closed == 1; }));
        EXPECT_EQ(session->messages.size(), 50u);
    });
}

// Client and server on threads of their own, on the real clock.
struct ServerThread {
    std::unique_ptr<TestServer> server;
    std::atomic<uint16_t> port{0};
    static int Start(void* self) {
        auto* me = static_cast<ServerThread*>(self);
        me->server = std::make_unique<TestServer>(true);
        me->port = me->server->Port();
        return 0;
    }
    static int Stop(void* self) {
        static_cast<ServerThread*>(self)->server.reset();
        return 0;
    }
};

TEST(ClientConnect, SessionsOnSeparateWorkerThreadsExchangeMessages) {
    ServerThread state;
    auto thread = std::make_shared<HYThread>("Server", &ServerThread::Start, &ServerThread::Stop, &state);
    ASSERT_EQ(thread->Start(true, false), 0);
    RunOnWorker([&] {
        RecordingClient client;
        client.SetServer("127.0.0.1", state.port.load());
        ASSERT_TRUE(client.StartConnect(0));
        ASSERT_TRUE(PumpUntil([&] { return client.State() == SS_Established; }));
        for (uint32_t i = 0; i < 200; ++i) ASSERT_TRUE(client.SendMessage(&i, sizeof i));
        ASSERT_TRUE(PumpUntil([&] { return client.messages.size() == 200; }));
        for (uint32_t i = 0; i < 200; ++i) {
            uint32_t value = 0;
            std::memcpy(&value, client.messages[i].data(), sizeof value);
            EXPECT_EQ(value, i);
        }
    });
    EXPECT_EQ(thread->Stop(true), 0);
}

}  // namespace
}  // namespace nettest
