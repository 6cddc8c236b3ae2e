#include "session_test_support.h"

#include <gtest/gtest.h>

namespace nettest {

void RecordingClient::ConnectComplete() {
    events.push_back("ConnectComplete state=" + std::to_string(State()));
}

void RecordingClient::ConnectFailed() {
    events.push_back("ConnectFailed " + std::to_string(FailureReason()));
}

bool RecordingClient::AppProcessMessage(const MsgBufferRef& buffer) {
    messages.emplace_back(buffer->Data(), buffer->Data() + buffer->Length());
    return true;
}

void RecordingClient::AppSessionEstablished() { events.push_back("Established"); }

void RecordingClient::AppCloseConnection() {
    events.push_back("Closed");
    if (onClose) onClose();
}

int RecordingClient::Count(const std::string& event) const {
    int n = 0;
    for (const auto& e : events) n += e.rfind(event, 0) == 0 ? 1 : 0;
    return n;
}

bool RecordingServerSession::AppProcessMessage(const MsgBufferRef& buffer) {
    messages.emplace_back(buffer->Data(), buffer->Data() + buffer->Length());
    // The payload ends with the zero byte the sender added.
    if (m_echo) SendMessage(buffer->Data(), buffer->Length() - 1);
    return true;
}

TestServer::TestServer(bool echo)
    : m_server([echo] { return std::make_unique<RecordingServerSession>(echo); }) {
    EXPECT_EQ(m_server.Listen(HYInetAddress(INADDR_LOOPBACK, 0)), 0);
}

RecordingServerSession* TestServer::First() const {
    std::vector<ServerSession*> sessions = m_server.Sessions();
    return sessions.empty() ? nullptr : static_cast<RecordingServerSession*>(sessions.front());
}

RawPeer::RawPeer() {
    EXPECT_EQ(m_listener.Listen(HYInetAddress(INADDR_LOOPBACK, 0),
                                [this](std::unique_ptr<HYTcpSocket> socket) {
                                    if (m_socket) return;  // one connection only
                                    m_socket = std::move(socket);
                                    m_socket->SetObserver(this);
                                    m_socket->SetMask(IO_Readable);
                                    m_socket->Attach();
                                }),
              0);
}

void RawPeer::Send(const std::vector<uint8_t>& bytes) {
    ASSERT_TRUE(m_socket);
    ASSERT_EQ(m_socket->Write(bytes.data(), bytes.size()), static_cast<long>(bytes.size()));
}

void RawPeer::SendFrame(const std::vector<uint8_t>& body) {
    std::vector<uint8_t> frame = {0x0D, 0xF0};
    if (body.size() + 8 > 0x7FFF) {
        frame.push_back(0x00);
        frame.push_back(0x80);
        for (uint8_t b : Le32(static_cast<uint32_t>(body.size()))) frame.push_back(b);
    } else {
        for (uint8_t b : Le16(static_cast<uint16_t>(body.size()))) frame.push_back(b);
    }
    frame.insert(frame.end(), body.begin(), body.end());
    Send(frame);
}

void RawPeer::SetReading(bool reading) {
    if (!m_socket) return;
    if (reading) m_socket->AddInterest(IO_Readable);
    else m_socket->RemoveInterest(IO_Readable);
}

void RawPeer::Close() {
    if (m_socket) m_socket->Close(false);
}

int RawPeer::OnSocketReadable(HYTcpSocket& socket) {
    uint8_t buffer[65536];
    for (;;) {
        long n = socket.Read(buffer, sizeof buffer);
        if (n > 0) {
            wire.insert(wire.end(), buffer, buffer + n);
            continue;
        }
        if (n < 0) {
            peerClosed = true;
            return 1;
        }
        return 0;
    }
}

std::vector<std::vector<uint8_t>> RawPeer::Bodies() const {
    std::vector<std::vector<uint8_t>> bodies;
    size_t at = 0;
    while (at + 4 <= wire.size()) {
        size_t length = wire[at + 2] | (wire[at + 3] << 8);
        size_t header = 4;
        if (length >= 0x8000) {
            if (at + 8 > wire.size()) break;
            length = wire[at + 4] | (wire[at + 5] << 8) | (wire[at + 6] << 16) |
                     (size_t{wire[at + 7]} << 24);
            header = 8;
        }
        if (at + header + length > wire.size()) break;
        bodies.emplace_back(wire.begin() + at + header, wire.begin() + at + header + length);
        at += header + length;
    }
    return bodies;
}

std::vector<uint8_t> Le16(uint16_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
}

std::vector<uint8_t> Le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

}  // namespace nettest
