// A login client that records its callbacks, a scripted login server whose replies each test
// writes, and helpers for both (the network test helpers provide the worker thread, the pump and
// the hand-moved clock).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CredentialProtection.h"
#include "DMLRecord.h"
#include "PatchClientLogin.h"
#include "ServerSession.h"
#include "SessionServer.h"
#include "net_test_support.h"

namespace logintest {

// Loads the shipped message modules (once per process).
void LoadModules();

struct LoginOutcomeRecord {
    bool success = false;
    uint64_t accountId = 0;
    std::string passKey;
    int paying = 0;
    int result = 0;
    std::string banText;
};

class RecordingLogin : public PatchClientLogin {
public:
    // Initialised with the shipped modules and a fixed patch client id.
    RecordingLogin();
    std::vector<LoginOutcomeRecord> outcomes;
    std::function<void()> onOutcome;
    // Pumps until a callback came (or about five seconds passed).
    bool WaitForOutcome(size_t count = 1);

protected:
    void OnLoginSuccessful(uint64_t accountId, const std::string& passKey, int paying) override;
    void OnLoginFailed(uint64_t accountId, const std::string& passKey, int result,
                       const std::string& banText) override;
};

class ScriptedSession;
// Answers a decoded request; may send replies through the session, close it, or do nothing.
using ReplyScript = std::function<void(ScriptedSession& session, DMLRecord& request)>;

class ScriptedSession : public ServerSession {
public:
    explicit ScriptedSession(const ReplyScript& script) : m_script(script) {}
    bool AppProcessMessage(const MsgBufferRef& buffer) override;
    SessionSalt Salt() const;
    // Encodes and sends a reply record.
    bool Reply(DMLRecord& reply);

private:
    const ReplyScript& m_script;
};

// A session server on 127.0.0.1 that keeps every request it decoded.
class ScriptedServer {
public:
    explicit ScriptedServer(ReplyScript script);
    uint16_t Port() const { return m_server.LocalAddress().Port(); }
    SessionServer& Server() { return m_server; }

    struct Received {
        DMLRecord request;
        SessionSalt salt;
        std::string name;  // message name
    };
    std::vector<Received> received;
    int connections = 0;

private:
    ReplyScript m_script;
    ReplyScript m_recordingScript;
    SessionServer m_server;
};

// A prepared reply of the given message name.
DMLRecord MakeReply(const char* messageName);

}  // namespace logintest
