// Session throughput against plain TCP on loopback. The session pair runs on two worker threads
// (client sending, server receiving); the reference moves the same bytes through a connected
// socket pair with one thread writing and one reading. Each benchmark iteration waits until the
// receiver has taken another batch of bytes, so the figures read as bytes (or messages) per second
// of a steady stream.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "ClientSession.h"
#include "HYThread.h"
#include "OsEnv.h"
#include "OsTime.h"
#include "ServerSession.h"
#include "SessionServer.h"

namespace {

std::atomic<uint64_t> g_receivedBytes{0};
std::atomic<uint64_t> g_receivedMessages{0};

class CountingSession : public ServerSession {
public:
    bool AppProcessMessage(const MsgBufferRef& buffer) override {
        g_receivedBytes.fetch_add(buffer->Length(), std::memory_order_relaxed);
        g_receivedMessages.fetch_add(1, std::memory_order_relaxed);
        return true;
    }
};

class SilentClient : public ClientSession {
public:
    bool AppProcessMessage(const MsgBufferRef&) override { return true; }
};

struct ServerThread {
    std::unique_ptr<SessionServer> server;
    std::atomic<uint16_t> port{0};
    static int Start(void* self) {
        auto* me = static_cast<ServerThread*>(self);
        me->server = std::make_unique<SessionServer>([] { return std::make_unique<CountingSession>(); });
        if (me->server->Listen(HYInetAddress(INADDR_LOOPBACK, 0)) != 0) return 1;
        me->port = me->server->LocalAddress().Port();
        return 0;
    }
    static int Stop(void* self) {
        static_cast<ServerThread*>(self)->server.reset();
        return 0;
    }
};

struct ClientThread {
    uint16_t port = 0;
    uint32_t messageSize = 0;
    uint32_t queueDepth = 0;
    std::atomic<bool> run{true};
    std::atomic<int> state{0};  // 1 sending, -1 failed
    static int Body(void* self) {
        auto* me = static_cast<ClientThread*>(self);
        HYThread* thread = HYThread::Current();
        SilentClient client;
        client.SetServer("127.0.0.1", me->port);
        if (!client.StartConnect(0)) {
            me->state = -1;
            return 1;
        }
        while (client.State() != SS_Established && client.State() != SS_Closed) thread->RunOnce(true, true);
        if (client.State() != SS_Established) {
            me->state = -1;
            return 1;
        }
        me->state = 1;
        std::vector<uint8_t> message(me->messageSize, 0x5A);
        while (me->run.load(std::memory_order_relaxed)) {
            while (client.QueueLength() < me->queueDepth)
                client.SendMessage(message.data(), me->messageSize);
            // Blocks until the socket takes more.
            thread->RunOnce(true, true);
        }
        client.Close(true);
        return 1;
    }
};

// Waits until the receiver's counter has moved on by `amount`. The benchmark's own thread looks
// every 100 us and sleeps in between: a thread spinning on yield would take a core's share from
// the sender and receiver on a two-core machine, more from whichever side switches threads more
// often. A batch takes tens of milliseconds, so the look adds well under 1 % to either side.
void WaitFor(const std::atomic<uint64_t>& counter, uint64_t start, uint64_t amount) {
    while (counter.load(std::memory_order_relaxed) - start < amount)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
}

void RunSessions(benchmark::State& state, uint32_t messageSize, uint32_t queueDepth, uint64_t batchMessages) {
    HY_OS::SetEnv("HY_HOSTNAME", "localhost");
    ServerThread server;
    auto serverThread = std::make_shared<HYThread>("BenchServer", &ServerThread::Start, &ServerThread::Stop, &server);
    if (serverThread->Start(true, false) != 0) {
        state.SkipWithError("server did not start");
        return;
    }
    ClientThread client;
    client.port = server.port;
    client.messageSize = messageSize;
    client.queueDepth = queueDepth;
    auto clientThread = std::make_shared<HYThread>("BenchClient", &ClientThread::Body, nullptr, &client);
    clientThread->Start(false, false);
    while (client.state == 0) std::this_thread::yield();
    if (client.state < 0) {
        state.SkipWithError("client did not connect");
    } else {
        for (auto _ : state) {
            uint64_t start = g_receivedMessages.load();
            WaitFor(g_receivedMessages, start, batchMessages);
        }
        // The payload of each message is its bytes plus the zero byte the session adds.
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * batchMessages * messageSize));
        state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * batchMessages));
    }
    client.run = false;
    clientThread.reset();  // joins
    serverThread->Stop(true);
}

void BM_SessionThroughput(benchmark::State& state) {
    uint32_t size = static_cast<uint32_t>(state.range(0));
    RunSessions(state, size, 64, (64u << 20) / size);
}
BENCHMARK(BM_SessionThroughput)->Arg(65536)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_SessionSmallMessages(benchmark::State& state) {
    RunSessions(state, 100, 4096, 100000);
}
BENCHMARK(BM_SessionSmallMessages)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_RawTcp(benchmark::State& state) {
    size_t size = static_cast<size_t>(state.range(0));
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    ::bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&at), &length);
    int writer = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(writer, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
        state.SkipWithError("connect failed");
        return;
    }
    int reader = ::accept(listener, nullptr, nullptr);
    ::close(listener);
    std::atomic<bool> run{true};
    std::atomic<uint64_t> received{0};
    std::thread writing([&] {
        std::vector<uint8_t> block(size, 0x5A);
        while (run.load(std::memory_order_relaxed))
            if (::send(writer, block.data(), block.size(), MSG_NOSIGNAL) <= 0) break;
    });
    std::thread reading([&] {
        std::vector<uint8_t> block(size);
        for (;;) {
            ssize_t n = ::recv(reader, block.data(), block.size(), 0);
            if (n <= 0) break;
            received.fetch_add(static_cast<uint64_t>(n), std::memory_order_relaxed);
        }
    });
    const uint64_t batch = 64u << 20;
    for (auto _ : state) {
        uint64_t start = received.load();
        WaitFor(received, start, batch);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * batch));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * (batch / size)));
    run = false;
    ::shutdown(reader, SHUT_RDWR);
    ::shutdown(writer, SHUT_RDWR);
    writing.join();
    reading.join();
    ::close(reader);
    ::close(writer);
}
BENCHMARK(BM_RawTcp)->Arg(65536)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
