// Sessions and peers for the session tests: a client that records its callbacks, a server
// session that records (and may echo) what it receives, and a raw peer that speaks bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ClientSession.h"
#include "HYTcpListener.h"
#include "ServerSession.h"
#include "SessionServer.h"
#include "net_test_support.h"

namespace nettest {

class RecordingClient : public ClientSession {
public:
    using ClientSession::ClientSession;
    void ConnectComplete() override;
    void ConnectFailed() override;
    bool AppProcessMessage(const MsgBufferRef& buffer) override;
    void AppSessionEstablished() override;
    void AppCloseConnection() override;

    int Count(const std::string& event) const;

    std::vector<std::string> events;
    std::vector<std::vector<uint8_t>> messages;  // payloads, with their zero byte
    std::function<void()> onClose;
};

class RecordingServerSession : public ServerSession {
public:
    explicit RecordingServerSession(bool echo) : m_echo(echo) {}
    bool AppProcessMessage(const MsgBufferRef& buffer) override;
    void AppSessionEstablished() override { ++established; }
    void AppCloseConnection() override { ++closed; }

    std::vector<std::vector<uint8_t>> messages;
    int established = 0;
    int closed = 0;

private:
    bool m_echo;
};

// A SessionServer on 127.0.0.1 whose sessions record, and echo when asked.
class TestServer {
public:
    explicit TestServer(bool echo = false);
    uint16_t Port() const { return m_server.LocalAddress().Port(); }
    SessionServer& Server() { return m_server; }
    RecordingServerSession* First() const;

private:
    SessionServer m_server;
};

// Accepts one connection and exchanges raw bytes over it.
class RawPeer : public HYSocketObserver {
public:
    RawPeer();
    uint16_t Port() const { return m_listener.LocalAddress().Port(); }
    bool Connected() const { return m_socket != nullptr; }
    void Send(const std::vector<uint8_t>& bytes);
    // Sends one frame holding `body` (session header and payload).
    void SendFrame(const std::vector<uint8_t>& body);
    // Stops (or resumes) reading: a peer that does not read.
    void SetReading(bool reading);
    void Close();

    // The frame bodies received so far.
    std::vector<std::vector<uint8_t>> Bodies() const;

    int OnSocketReadable(HYTcpSocket& socket) override;
    int OnSocketWritable(HYTcpSocket& socket) override { return 1; }
    void OnSocketError(HYTcpSocket& socket, int mask) override {}

    std::vector<uint8_t> wire;
    bool peerClosed = false;

private:
    HYTcpListener m_listener;
    std::unique_ptr<HYTcpSocket> m_socket;
};

std::vector<uint8_t> Le16(uint16_t v);
std::vector<uint8_t> Le32(uint32_t v);
std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts);

}  // namespace nettest
