#include "HYTcpConnector.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "HYTcpListener.h"
#include "net_test_support.h"
#include "raw_socket.h"

namespace {

struct Outcome : HYConnectClient {
    std::vector<int> errors;
    std::unique_ptr<HYTcpSocket> socket;
    void OnConnectDone(std::unique_ptr<HYTcpSocket> s, int error) override {
        errors.push_back(error);
        socket = std::move(s);
    }
};

const SocketOptionList kNonBlocking = {{HSO_NonBlocking, 1}};

HYInetAddress Loopback(uint16_t port) { return HYInetAddress(INADDR_LOOPBACK, port); }

// A port on which nothing listens (bound once, then released).
uint16_t ClosedPort() {
    HYTcpListener probe;
    EXPECT_EQ(probe.Listen(Loopback(0), nullptr), 0);
    uint16_t port = probe.LocalAddress().Port();
    probe.Close();
    return port;
}

TEST(HYTcpConnector, ConnectsToAListenerAndHandsTheSocketOverOnce) {
    nettest::RunOnWorker([] {
        std::vector<std::unique_ptr<HYTcpSocket>> accepted;
        HYTcpListener listener;
        ASSERT_EQ(listener.Listen(Loopback(0),
                                  [&](std::unique_ptr<HYTcpSocket> s) { accepted.push_back(std::move(s)); }),
                  0);
        EXPECT_NE(listener.LocalAddress().Port(), 0);
        std::shared_ptr<HYTcpConnector> connector = HYTcpConnector::Current();
        EXPECT_EQ(connector, HYTcpConnector::Current()) << "one connector per thread";
        Outcome outcome;
        ASSERT_TRUE(connector->Connect(listener.LocalAddress(), 10000, &outcome, kNonBlocking));
        EXPECT_TRUE(outcome.errors.empty()) << "never completed inside Connect";
        EXPECT_TRUE(nettest::PumpUntil([&] { return !outcome.errors.empty() && !accepted.empty(); }));
        nettest::PumpFor(20);
        ASSERT_EQ(outcome.errors, std::vector<int>{0});
        ASSERT_TRUE(outcome.socket);
        EXPECT_FALSE(outcome.socket->IsAttached()) << "the session attaches it";
        EXPECT_EQ(outcome.socket->RemoteAddress(), listener.LocalAddress());
        EXPECT_EQ(accepted.size(), 1u);
        EXPECT_EQ(accepted[0]->RemoteAddress(), outcome.socket->LocalAddress());
        EXPECT_EQ(connector->PendingCount(), 0u);
    });
}

TEST(HYTcpConnector, AClosedPortFailsAndCancelledConnectsNeverComplete) {
    nettest::RunOnWorker([] {
        std::shared_ptr<HYTcpConnector> connector = HYTcpConnector::Current();
        Outcome refused, cancelled;
        uint16_t port = ClosedPort();
        ASSERT_TRUE(connector->Connect(Loopback(port), 10000, &refused, kNonBlocking));
        ASSERT_TRUE(connector->Connect(Loopback(port), 10000, &cancelled, kNonBlocking));
        connector->Cancel(&cancelled);
        EXPECT_EQ(connector->PendingCount(&cancelled), 0u);
        EXPECT_TRUE(nettest::PumpUntil([&] { return !refused.errors.empty(); }));
        nettest::PumpFor(20);
        EXPECT_EQ(refused.errors, std::vector<int>{nettest::kErrRefused});
        EXPECT_FALSE(refused.socket);
        EXPECT_TRUE(cancelled.errors.empty());
    });
}

TEST(HYTcpConnector, AConnectThatHangsTimesOut) {
    nettest::ManualClock clock;
    nettest::RunOnWorker([&] {
        // A listener that never accepts, with its backlog filled: further connects hang.
        nettest::RawListener full(0);
        ASSERT_NE(full.address.Port(), 0);
        const HYInetAddress& at = full.address;
        std::shared_ptr<HYTcpConnector> connector = HYTcpConnector::Current();
        std::vector<std::unique_ptr<Outcome>> fillers;
        for (int i = 0; i < 3; ++i) {
            fillers.push_back(std::make_unique<Outcome>());
            connector->Connect(at, 60000, fillers.back().get(), kNonBlocking);
        }
        nettest::PumpFor(50);
        Outcome late;
        ASSERT_TRUE(connector->Connect(at, 500, &late, kNonBlocking));
        nettest::PumpFor(50);
        if (!late.errors.empty()) {
            GTEST_SKIP() << "this system completed the connect despite the full backlog";
        }
        clock.Advance(499);
        nettest::PumpFor(20);
        EXPECT_TRUE(late.errors.empty());
        clock.Advance(2);
        EXPECT_TRUE(nettest::PumpUntil([&] { return !late.errors.empty(); }));
        EXPECT_EQ(late.errors, std::vector<int>{ETIMEDOUT});
        for (auto& f : fillers) connector->Cancel(f.get());
    });
}

}  // namespace
