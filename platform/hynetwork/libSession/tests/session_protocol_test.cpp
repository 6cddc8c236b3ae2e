// The session protocol seen from the wire: handshake, keep-alives, application frames, bad input
// and the send queue's limit.
#include "TcpSession.h"

#include <gtest/gtest.h>

#include "FrameCounters.h"
#include "HYTimerSet.h"
#include "session_test_support.h"

namespace nettest {
namespace {

using Bytes = std::vector<uint8_t>;

// A client connected to `peer` (raw), after ConnectComplete.
void ConnectTo(RecordingClient& client, uint16_t port) {
    client.SetServer("127.0.0.1", port);
    ASSERT_TRUE(client.StartConnect(0));
    ASSERT_TRUE(PumpUntil([&] { return client.State() == SS_Connected; }));
}

Bytes Offer(uint16_t id, uint32_t seconds, uint32_t milliseconds) {
    return Concat({{0x01, 0x00, 0x00, 0x00}, Le16(id), Le32(0), Le32(seconds), Le32(milliseconds), {0}});
}

TEST(SessionProtocol, TheAcceptCarriesIdZeroThenTheClientsTimeThenTheOfferedId) {
    RunOnWorker([] {
        RawPeer peer;
        RecordingClient client;
        ConnectTo(client, peer.Port());
        ASSERT_TRUE(PumpUntil([&] { return peer.Connected(); }));
        EXPECT_EQ(client.events, std::vector<std::string>{"ConnectComplete state=2"});
        EXPECT_EQ(client.Record().peer, "127.0.0.1:" + std::to_string(peer.Port()));

        peer.SendFrame(Offer(0x1234, 1700000000, 250));
        ASSERT_TRUE(PumpUntil([&] { return client.State() == SS_Established && !peer.Bodies().empty(); }));
        const SessionRecord& record = client.Record();
        EXPECT_EQ(record.serverSessionId, 0x1234);
        EXPECT_EQ(record.offerSeconds, 1700000000u);
        EXPECT_EQ(record.offerMilliseconds, 250u);
        Bytes expected = Concat({{0x01, 0x05, 0x00, 0x00}, Le16(0), Le32(0), Le32(record.createdSeconds),
                                 Le32(record.createdMilliseconds), Le16(0x1234), {0}});
        EXPECT_EQ(peer.Bodies().front(), expected);
        EXPECT_EQ(client.events.back(), "Established");

        // An offer too short to hold the time keeps the stored time.
        peer.SendFrame(Concat({{0x01, 0x00, 0x00, 0x00}, Le16(0x4321)}));
        ASSERT_TRUE(PumpUntil([&] { return peer.Bodies().size() == 2; }));
        EXPECT_EQ(client.Record().serverSessionId, 0x4321);
        EXPECT_EQ(client.Record().offerSeconds, 1700000000u);
        // An offer with no id at all is ignored.
        peer.SendFrame({0x01, 0x00, 0x00, 0x00, 0x07});
        PumpFor(30);
        EXPECT_EQ(peer.Bodies().size(), 2u);
    });
}

TEST(SessionProtocol, ClientAndServerSessionsEstablishEachOther) {
    RunOnWorker([] {
        TestServer server;
        RecordingClient client;
        ConnectTo(client, server.Port());
        ASSERT_TRUE(PumpUntil([&] { return server.First() && server.First()->established == 1; }));
        RecordingServerSession& session = *server.First();
        EXPECT_EQ(client.State(), SS_Established);
        EXPECT_EQ(session.State(), SS_Established);
        EXPECT_NE(session.Record().ownSessionId, 0);
        EXPECT_EQ(client.Record().serverSessionId, session.Record().ownSessionId);
        EXPECT_EQ(client.Record().offerSeconds, session.Record().createdSeconds);
        EXPECT_EQ(client.Record().offerMilliseconds, session.Record().createdMilliseconds);
        EXPECT_EQ(session.Record().offerSeconds, client.Record().createdSeconds);
        EXPECT_EQ(session.ClientSessionId(), 0);
    });
}

TEST(SessionProtocol, AKeepAliveComesBackWithOpcodeFourAndTheSamePayload) {
    RunOnWorker([] {
        RawPeer peer;
        RecordingClient client;
        ConnectTo(client, peer.Port());
        ASSERT_TRUE(PumpUntil([&] { return peer.Connected(); }));
        peer.SendFrame({0x01, 0x03, 0x00, 0x00, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12});
        ASSERT_TRUE(PumpUntil([&] { return !peer.Bodies().empty(); }));
        EXPECT_EQ(peer.Bodies().front(), (Bytes{0x01, 0x04, 0x00, 0x00, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12}));
        EXPECT_EQ(client.Counters().controlHandled.load(), 1u);
    });
}

TEST(SessionProtocol, KeepAliveRepliesOlderThanSixtySecondsAreIgnored) {
    ManualClock clock;
    RunOnWorker([&] {
        RawPeer peer;
        RecordingClient client;
        ConnectTo(client, peer.Port());
        ASSERT_TRUE(PumpUntil([&] { return peer.Connected(); }));
        clock.Advance(100000);
        uint32_t now = static_cast<uint32_t>(HYTimerSet::Current()->Now());
        ASSERT_GE(now, 100000u);
        peer.SendFrame(Concat({{0x01, 0x04, 0x00, 0x00}, Le16(0), Le32(now - 61000)}));
        peer.SendFrame({0x01, 0x04, 0x00, 0x00, 0x00});  // too short: ignored
        PumpFor(30);
        EXPECT_EQ(client.Counters().keepAliveReplies.load(), 0u);
        peer.SendFrame(Concat({{0x01, 0x04, 0x00, 0x00}, Le16(0), Le32(now - 59000)}));
        ASSERT_TRUE(PumpUntil([&] { return client.Counters().keepAliveReplies.load() == 1; }));
        EXPECT_EQ(client.Counters().keepAliveRttMax.load(), 59000u);
        EXPECT_EQ(client.Counters().keepAliveRttTotal.load(), 59000u);
    });
}

TEST(SessionProtocol, WithoutRepliesKeepAlivesGoOnEveryTenSecondsAndCountMisses) {
    ManualClock clock;
    RunOnWorker([&] {
        RawPeer peer;  // never offers, never answers
        RecordingClient client;
        ConnectTo(client, peer.Port());
        ASSERT_TRUE(PumpUntil([&] { return peer.Connected(); }));
        clock.Advance(9999);
        PumpFor(20);
        EXPECT_TRUE(peer.Bodies().empty());
        for (size_t round = 1; round <= 3; ++round) {
            clock.Advance(round == 1 ? 1 : 10000);
            ASSERT_TRUE(PumpUntil([&] { return peer.Bodies().size() == round; })) << round;
            Bytes body = peer.Bodies().back();
            ASSERT_EQ(body.size(), 10u);
            EXPECT_EQ(Bytes(body.begin(), body.begin() + 6), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x00}))
                << "session id 0 before any offer";
            uint32_t sentClock = body[6] | (body[7] << 8) | (body[8] << 16) | (uint32_t{body[9]} << 24);
            EXPECT_EQ(sentClock, static_cast<uint32_t>(HYTimerSet::Current()->Now()));
            EXPECT_EQ(client.Counters().keepAliveMissed.load(), round - 1);
        }
        EXPECT_EQ(client.State(), SS_Connected);
        EXPECT_EQ(client.Count("Established"), 0);
        EXPECT_EQ(client.Count("Closed"), 0);
    });
}

TEST(SessionProtocol, AHundredByteMessageTravelsAsA105ByteBody) {
    RunOnWorker([] {
        RawPeer peer;
        RecordingClient client;
        ConnectTo(client, peer.Port());
        ASSERT_TRUE(PumpUntil([&] { return peer.Connected(); }));
        Bytes message(100);
        for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<uint8_t>(i + 1);
        ASSERT_TRUE(client.SendMessage(message.data(), 100));
        ASSERT_TRUE(PumpUntil([&] { return !peer.Bodies().empty(); }));
        EXPECT_EQ(peer.wire[2] | (peer.wire[3] << 8), 105);
        EXPECT_EQ(peer.Bodies().front(), Concat({{0, 0, 0, 0}, message, {0}}));
        EXPECT_EQ(client.Counters().messagesSent.load(), 1u);
        EXPECT_EQ(client.Counters().bytesSent.load(), 101u);
    });
}

TEST(SessionProtocol, MessagesAroundTheShortFrameLimitArriveWhole) {
    RunOnWorker([] {
        TestServer server(true);
        RecordingClient client;
        ConnectTo(client, server.Port());
        ASSERT_TRUE(PumpUntil([&] { return client.State() == SS_Established; }));
        // Bodies of 0x7FF7 (short form) and 0x7FF8 (long form), and a large one.
        std::vector<size_t> sizes = {0x7FF2, 0x7FF3, 3 * 1024 * 1024};
        for (size_t size : sizes) {
            Bytes message(size);
            for (size_t i = 0; i < size; ++i) message[i] = static_cast<uint8_t>(i * 7 + size);
            ASSERT_TRUE(client.SendMessage(message.data(), static_cast<uint32_t>(size)));
        }
        ASSERT_TRUE(PumpUntil([&] { return client.messages.size() == sizes.size(); }));
        RecordingServerSession& session = *server.First();
        for (size_t k = 0; k < sizes.size(); ++k) {
            ASSERT_EQ(session.messages[k].size(), sizes[k] + 1);
            EXPECT_EQ(session.messages[k].back(), 0);
            EXPECT_EQ(session.messages[k][sizes[k] - 1], static_cast<uint8_t>((sizes[k] - 1) * 7 + sizes[k]));
            EXPECT_EQ(client.messages[k], session.messages[k]) << "echoed back unchanged";
        }
        EXPECT_EQ(session.Counters().messagesReceived.load(), sizes.size());
    });
}

TEST(SessionProtocol, BadFramesCloseOnlyTheirOwnConnection) {
    RunOnWorker([] {
        ScopedLogCapture log;
        TestServer server(true);
        RecordingClient healthy;
        ConnectTo(healthy, server.Port());
        ASSERT_TRUE(PumpUntil([&] { return healthy.State() == SS_Established; }));

        struct Case {
            Bytes bytes;
            int error;
        };
        std::vector<Case> cases = {
            {{0x0E, 0xF0, 0x04, 0x00, 0, 0, 0, 0}, 4},
            {{0x0D, 0xF0, 0x00, 0x80, 0x01, 0x00, 0x00, 0x04}, 5},  // 67,108,865 bytes announced
            {{0x0D, 0xF0, 0x04, 0x00, 0x06, 0x00, 0x00, 0x00}, 6},  // header kind 3
        };
        for (const Case& c : cases) {
            RawPeer peer;
            RecordingClient victim;
            ConnectTo(victim, peer.Port());
            ASSERT_TRUE(PumpUntil([&] { return peer.Connected(); }));
            uint64_t badBefore = ProcessFrameCounters().badFrames.load();
            peer.Send(c.bytes);
            ASSERT_TRUE(PumpUntil([&] { return victim.Count("Closed") == 1; })) << c.error;
            EXPECT_EQ(victim.State(), SS_Closed);
            EXPECT_EQ(ProcessFrameCounters().badFrames.load(), badBefore + 1);
            EXPECT_EQ(log->CountPrefix("Frame error " + std::to_string(c.error) + " "), 1);
            EXPECT_TRUE(PumpUntil([&] { return peer.peerClosed; }));
        }
        // The other session on the same thread carries on.
        ASSERT_TRUE(healthy.SendMessage("ping", 4));
        ASSERT_TRUE(PumpUntil([&] { return healthy.messages.size() == 1; }));
        EXPECT_EQ(healthy.messages[0], (Bytes{'p', 'i', 'n', 'g', 0}));
        EXPECT_EQ(healthy.Count("Closed"), 0);
    });
}

TEST(SessionProtocol, AServerDropsAClientWhoseAcceptOrFramesAreWrong) {
    RunOnWorker([] {
        TestServer server;
        RecordingClient good;
        ConnectTo(good, server.Port());
        ASSERT_TRUE(PumpUntil([&] { return good.State() == SS_Established; }));
        ASSERT_EQ(server.Server().SessionCount(), 1u);

        std::vector<Bytes> inputs = {
            // An accept naming an id this server never offered.
            Concat({{0x0D, 0xF0, 21, 0, 0x01, 0x05, 0x00, 0x00}, Le16(0), Le32(0), Le32(1), Le32(2), Le16(0xFFFF), {0}}),
            {0x0D, 0xF0, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0xFF},  // a 4 GiB frame
            {0xDE, 0xAD, 0xBE, 0xEF},
        };
        for (const Bytes& input : inputs) {
            HYTcpSocket raw;
            ASSERT_EQ(raw.Open(), 0);
            raw.Connect(HYInetAddress(INADDR_LOOPBACK, server.Port()));
            ASSERT_TRUE(PumpUntil([&] { return raw.ConnectResult() == 0 && server.Server().SessionCount() == 2; }));
            ASSERT_EQ(raw.Write(input.data(), input.size()), static_cast<long>(input.size()));
            ASSERT_TRUE(PumpUntil([&] { return server.Server().SessionCount() == 1; }));
            char byte;
            ASSERT_TRUE(PumpUntil([&] { return raw.Read(&byte, 1) < 0 || raw.PeerClosed(); }))
                << "the server closed the connection";
        }
        ASSERT_TRUE(good.SendMessage("still here", 10));
        ASSERT_TRUE(PumpUntil([&] { return server.First()->messages.size() == 1; }));
        EXPECT_EQ(good.Count("Closed"), 0);
    });
}

TEST(SessionProtocol, SendingWithoutAConnectionIsRefusedAndLoggedOnceUnlessClosed) {
    RunOnWorker([] {
        ScopedLogCapture log;
        RecordingClient client;
        EXPECT_FALSE(client.SendMessage("AB", 2));
        EXPECT_FALSE(client.SendMessage("AB", 2));
        EXPECT_EQ(log->Count("TCP msg dropped. rc=0x4 state=0"), 1);
        EXPECT_EQ(log->Count("byte0=065 byte1=066 ip=unknown"), 1);
        EXPECT_EQ(client.Counters().sendRefusals.load(), 2u);

        TestServer server;
        RecordingClient closed;
        ConnectTo(closed, server.Port());
        ASSERT_TRUE(PumpUntil([&] { return server.First() && server.First()->established == 1; }));
        server.First()->Close(true);
        ASSERT_TRUE(PumpUntil([&] { return closed.Count("Closed") == 1; }));
        EXPECT_EQ(closed.State(), SS_Closed);
        EXPECT_FALSE(closed.SendMessage("AB", 2));
        EXPECT_EQ(log->CountPrefix("TCP msg dropped."), 1) << "nothing logged after the close";
        PumpFor(20);
        EXPECT_EQ(server.Server().SessionCount(), 0u) << "the closed server session is gone";
    });
}

TEST(SessionProtocol, APeerThatStopsReadingFillsTheQueueAndFurtherSendsAreRefused) {
    RunOnWorker([] {
        ScopedLogCapture log;
        RawPeer peer;
        RecordingClient client(16);
        ConnectTo(client, peer.Port());
        ASSERT_TRUE(PumpUntil([&] { return peer.Connected(); }));
        peer.SetReading(false);
        Bytes big(256 * 1024, 0x42);
        int accepted = 0;
        for (int i = 0; i < 400 && client.SendMessage(big.data(), static_cast<uint32_t>(big.size())); ++i) {
            ++accepted;
            PumpFor(1);
        }
        ASSERT_LT(accepted, 400) << "never refused";
        EXPECT_EQ(client.QueueLength(), 16u);
        EXPECT_TRUE(client.QueueHighReported());
        EXPECT_FALSE(client.SendMessage("AB", 2));
        EXPECT_EQ(client.Counters().sendRefusals.load(), 2u);
        EXPECT_EQ(log->Count("TCP msg dropped. rc=0x8 state=3"), 1);
        EXPECT_EQ(log->CountPrefix("TCP msg dropped."), 1);
        EXPECT_EQ(client.State(), SS_Connected) << "refusing is all; the connection stays";
    });
}

}  // namespace
}  // namespace nettest
