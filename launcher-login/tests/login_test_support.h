// A login client that records its callbacks, a scripted login server whose replies each test
// writes, and the helpers every sign-in test needs: a worker thread of its own per test, pumping
// its loop, a hand-moved clock and a log capture.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CredentialProtection.h"
#include "DMLRecord.h"
#include "PatchClientLogin.h"
#include "ServerSession.h"
#include "LogReactor.h"
#include "OsSysCalls.h"
#include "SessionServer.h"

namespace logintest {

// Runs `body` on a new worker thread (fresh demultiplexer, timers and connector) and returns once
// it ended. Also makes this machine's name resolve to the loopback address, so that a client told
// to use 127.0.0.1 stays there.
void RunOnWorker(const std::function<void()>& body);
// Runs non-blocking passes of the calling thread until `done` answers true or about five seconds
// of real time have passed; answers `done()`.
bool PumpUntil(const std::function<bool()>& done, uint32_t limitMs = 5000);
// Runs passes for `ms` of real time.
void PumpFor(uint32_t ms);

// A monotonic clock moved by hand, installed for its lifetime.
class ManualClock : public HY_OS::OsSysCalls {
public:
    ManualClock() : m_install(*this) {}
    uint64_t MonotonicMs() override { return m_now.load(); }
    void Advance(uint64_t ms) { m_now += ms; }

private:
    std::atomic<uint64_t> m_now{5000000};
    HY_OS::ScopedSysCalls m_install;
};

// Keeps the texts of the log records it is given while registered.
class LogCapture : public LogReactor {
public:
    LogCapture() : LogReactor("LOGINTEST", LL_All) {}
    int Write(const LogRecord& record) override;
    // Records whose text equals `text`.
    int Count(const std::string& text);

private:
    std::mutex m_lock;
    std::vector<std::string> m_texts;
};

class ScopedLogCapture {
public:
    ScopedLogCapture();
    ~ScopedLogCapture();
    LogCapture* operator->() { return m_capture.get(); }

private:
    std::shared_ptr<LogCapture> m_capture;
};

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
