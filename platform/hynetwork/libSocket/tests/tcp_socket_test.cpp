#include "HYTcpSocket.h"

#include <gtest/gtest.h>

#include <string>

#include "OsTime.h"
#include "SocketCounters.h"
#include "net_test_support.h"
#include "raw_socket.h"

namespace {

using Listener = nettest::RawListener;

// Waits (real time) until the socket's connect has an outcome.
int WaitConnected(HYTcpSocket& socket) {
    for (int i = 0; i < 2000; ++i) {
        int result = socket.ConnectResult();
        if (result != nettest::kErrInProgress && result != nettest::kErrAlready &&
            result != nettest::kErrRefused)
            return result;
        if (result == nettest::kErrRefused && i > 10) return result;
        HY_OS::SleepMs(1);
    }
    return -1;
}

long ReadSome(HYTcpSocket& socket, char* buffer, size_t size) {
    for (int i = 0; i < 2000; ++i) {
        long n = socket.Read(buffer, size);
        if (n != 0) return n;
        HY_OS::SleepMs(1);
    }
    return 0;
}

TEST(HYTcpSocket, ConnectedSocketsCountTheirBytesAndKnowBothEnds) {
    Listener server;
    HYTcpSocket client;
    ASSERT_EQ(client.Open(), 0);
    int started = client.Connect(server.address);
    ASSERT_GE(started, 0);
    int accepted = server.Accept();
    ASSERT_GE(accepted, 0);
    if (started == 1) {
        ASSERT_EQ(WaitConnected(client), 0);
    }
    std::unique_ptr<HYTcpSocket> peer = HYTcpSocket::Adopt(accepted);

    EXPECT_EQ(client.RemoteAddress(), server.address);
    EXPECT_EQ(peer->RemoteAddress(), client.LocalAddress());
    EXPECT_EQ(peer->LocalAddress().ToText(false), "127.0.0.1");

    SocketCounters& counters = ProcessSocketCounters();
    uint64_t writtenBefore = counters.bytesWritten.load();
    uint64_t readBefore = counters.bytesRead.load();
    iovec pieces[2] = {{const_cast<char*>("hello "), 6}, {const_cast<char*>("world"), 5}};
    EXPECT_EQ(client.Write(pieces, 2), 11);
    char buffer[64] = {};
    long total = 0;
    while (total < 11) {
        long n = ReadSome(*peer, buffer + total, sizeof buffer - total);
        ASSERT_GT(n, 0);
        total += n;
    }
    EXPECT_EQ(std::string(buffer, 11), "hello world");
    EXPECT_EQ(client.BytesWritten(), 11u);
    EXPECT_EQ(peer->BytesRead(), 11u);
    EXPECT_EQ(counters.bytesWritten.load() - writtenBefore, 11u);
    EXPECT_EQ(counters.bytesRead.load() - readBefore, 11u);
    EXPECT_EQ(peer->Read(buffer, sizeof buffer), 0) << "nothing more now";
    EXPECT_FALSE(peer->PeerClosed());

    uint64_t graceful = counters.gracefulCloses.load();
    client.Close(false);
    EXPECT_FALSE(client.IsOpen());
    EXPECT_EQ(counters.gracefulCloses.load(), graceful + 1);
    EXPECT_EQ(ReadSome(*peer, buffer, sizeof buffer), -1);
    EXPECT_TRUE(peer->PeerClosed()) << "an orderly close reads as the peer closing";
    client.Close(false);
    EXPECT_EQ(counters.gracefulCloses.load(), graceful + 1) << "closing twice counts once";
}

TEST(HYTcpSocket, AnAbortiveCloseResetsThePeerAndWritingToItFailsWithoutASignal) {
    Listener server;
    HYTcpSocket client;
    ASSERT_EQ(client.Open(), 0);
    int started = client.Connect(server.address);
    std::unique_ptr<HYTcpSocket> peer = HYTcpSocket::Adopt(server.Accept());
    if (started == 1) {
        ASSERT_EQ(WaitConnected(client), 0);
    }
    uint64_t abortive = ProcessSocketCounters().abortiveCloses.load();
    peer->Close(true);
    EXPECT_EQ(ProcessSocketCounters().abortiveCloses.load(), abortive + 1);
    if (nettest::RunningUnderWine()) {
        GTEST_SKIP() << "Wine closes a socket with a zero linger time gracefully; Windows resets "
                        "the connection (not shown here)";
    }
    char buffer[16];
    EXPECT_EQ(ReadSome(client, buffer, sizeof buffer), -1);
    EXPECT_FALSE(client.PeerClosed());
    EXPECT_EQ(client.LastError(), nettest::kErrReset);
    // The process would die of SIGPIPE if the write raised it.
    for (int i = 0; i < 3; ++i) client.Write("x", 1);
    EXPECT_EQ(client.Write("x", 1), -1);
}

}  // namespace
