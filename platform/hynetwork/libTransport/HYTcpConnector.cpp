#include "HYTcpConnector.h"

#include <cerrno>

#include "HYPerThreadData.h"
#include "HYTimer.h"
#include "LogMessage.h"

namespace {
HYPerThreadData<HYTcpConnector>& Slot() {
    static auto* slot = new HYPerThreadData<HYTcpConnector>("Client Connector");
    return *slot;
}
}  // namespace

// One connect in progress: its socket, its time-out timer and the client to tell.
class HYTcpConnector::Pending : public HYSocketObserver {
public:
    Pending(HYTcpConnector& owner, HYConnectClient* client, std::unique_ptr<HYTcpSocket> socket)
        : m_owner(owner),
          m_client(client),
          m_socket(std::move(socket)),
          m_timeout([this] { m_owner.Finish(*this, ETIMEDOUT); }, "HYTcpConnector::Timeout",
                    __FILE__, __LINE__) {
        m_socket->SetObserver(this);
    }

    int OnSocketReadable(HYTcpSocket& socket) override { return Check(socket); }
    int OnSocketWritable(HYTcpSocket& socket) override { return Check(socket); }
    void OnSocketError(HYTcpSocket& socket, int mask) override {
        if (!m_finished) m_owner.Finish(*this, EIO);
    }

    int Check(HYTcpSocket& socket) {
        if (!m_finished) m_owner.Finish(*this, socket.ConnectResult());
        return 1;
    }

    HYTcpConnector& m_owner;
    HYConnectClient* m_client;
    std::unique_ptr<HYTcpSocket> m_socket;
    CallbackTimer m_timeout;
    bool m_finished = false;
    int m_error = 0;
};

HYTcpConnector::HYTcpConnector()
    : m_finishedEvent([this] { DeliverFinished(); }, "HYTcpConnector", __FILE__, __LINE__) {}

HYTcpConnector::~HYTcpConnector() {
    m_finishedEvent.Unlink();
    m_pending.clear();
}

std::shared_ptr<HYTcpConnector> HYTcpConnector::Current() { return Slot().Get(); }

bool HYTcpConnector::Connect(const HYInetAddress& address, uint32_t timeoutMs,
                             HYConnectClient* client, const SocketOptionList& options) {
    if (client == nullptr) return false;
    auto socket = std::make_unique<HYTcpSocket>();
    if (socket->Open() != 0) {
        HY_LOG(LL_Warning, "PLAT_NET", "HYTcpConnector::Connect", "socket() failed (error:%d)",
               socket->LastError());
        return false;
    }
    for (const auto& [index, value] : options) socket->SetOption(index, value);
    auto pending = std::make_unique<Pending>(*this, client, std::move(socket));
    Pending& entry = *pending;
    int started = entry.m_socket->Connect(address);
    if (started == 1) {
        if (entry.m_socket->Attach() != 0) return false;
        entry.m_socket->SetMask(IO_Readable | IO_Writable);
        entry.m_timeout.StartTimer(timeoutMs);
        m_pending.push_back(std::move(pending));
        return true;
    }
    // Done at once, either way: completed from the event list like every other outcome, so the
    // client never hears of it before Connect has returned.
    m_pending.push_back(std::move(pending));
    Finish(entry, started == 0 ? 0 : entry.m_socket->LastError());
    return true;
}

void HYTcpConnector::Finish(Pending& pending, int error) {
    if (pending.m_finished) return;
    pending.m_finished = true;
    pending.m_error = error;
    pending.m_timeout.Stop();
    // Off the demultiplexer now; the object itself goes later, outside its own handler.
    pending.m_socket->Detach();
    if (error != 0) pending.m_socket->Close(true);
    m_finishedEvent.Signal();
}

void HYTcpConnector::DeliverFinished() {
    // One at a time: a client may connect or cancel again from inside its completion.
    for (;;) {
        auto it = m_pending.begin();
        while (it != m_pending.end() && !(*it)->m_finished) ++it;
        if (it == m_pending.end()) return;
        std::unique_ptr<Pending> done = std::move(*it);
        m_pending.erase(it);
        std::unique_ptr<HYTcpSocket> socket;
        if (done->m_error == 0) {
            socket = std::move(done->m_socket);
            socket->SetObserver(nullptr);
            socket->SetMask(0);
        }
        HYConnectClient* client = done->m_client;
        int error = done->m_error;
        done.reset();
        client->OnConnectDone(std::move(socket), error);
    }
}

void HYTcpConnector::Cancel(HYConnectClient* client) {
    m_pending.remove_if([client](const std::unique_ptr<Pending>& p) { return p->m_client == client; });
}

size_t HYTcpConnector::PendingCount(const HYConnectClient* client) const {
    size_t count = 0;
    for (const auto& p : m_pending)
        if (client == nullptr || p->m_client == client) ++count;
    return count;
}
