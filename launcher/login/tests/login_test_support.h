// Helpers of the sign-in tests: a worker thread of its own per test and pumping its loop, a login
// client that records its callbacks, and a scripted login server whose replies each test writes.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CredentialProtection.h"
#include "LogCapture.h"
#include "ManualClock.h"
#include "PatchClientLogin.h"
#include "SessionServer.h"
#include "WorkerPump.h"

namespace logintest {

// Runs `body` on a new worker thread, with this machine's name resolving to the loopback address.
void RunOnWorker(const std::function<void()>& body);
using hytest::PumpFor;
using hytest::PumpUntil;
// Loads the shipped message modules.
void LoadModules();

using hytest::ManualClock;
using hytest::ScopedLogCapture;

struct LoginOutcomeRecord {
    bool success = false;
    uint64_t accountId = 0;
    std::string passKey;
    int paying = 0;
    int result = 0;
    std::string banText;
};

// Initialised with the shipped modules, locale "English" and a fixed patch client id.
class RecordingLogin : public PatchClientLogin {
public:
    RecordingLogin();
    bool WaitForOutcome(size_t count = 1);
    std::vector<LoginOutcomeRecord> outcomes;

protected:
    void OnLoginSuccessful(uint64_t accountId, const std::string& passKey, int paying) override;
    void OnLoginFailed(uint64_t accountId, const std::string& passKey, int result,
                       const std::string& banText) override;
};

class ScriptedSession;
using ReplyScript = std::function<void(ScriptedSession& session, DMLRecord& request)>;

class ScriptedSession : public ServerSession {
public:
    explicit ScriptedSession(const ReplyScript& script) : m_script(script) {}
    bool AppProcessMessage(const MsgBufferRef& buffer) override;
    SessionSalt Salt() const;
    bool Reply(DMLRecord& reply);

private:
    const ReplyScript& m_script;
};

// A session server on 127.0.0.1 that keeps every request it decoded and runs the script on it.
class ScriptedServer {
public:
    explicit ScriptedServer(ReplyScript script);
    uint16_t Port() const { return m_server.LocalAddress().Port(); }

    struct Received {
        DMLRecord request;
        SessionSalt salt;
        std::string name;
    };
    std::vector<Received> received;
    int connections = 0;

private:
    ReplyScript m_script;
    ReplyScript m_recordingScript;
    SessionServer m_server;
};

DMLRecord MakeReply(const char* messageName);

}  // namespace logintest
