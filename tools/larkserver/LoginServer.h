// The development login server: answers MSG_USER_AUTHEN and MSG_USER_VALIDATE over the session
// protocol, for the accounts of an accounts file. It decrypts `Rec1` with the same key patterns
// as the launcher, checks the client key against the stored password hash (the launcher's own
// password hashing; a client using another hashing library is not supported), issues pass keys
// and checks `PassKey3` against them. Each account's outcome decides the answer (LoginAccounts.h).
// A request that does not decode, or is not a login request, closes that connection only.
//
// Runs on the thread that made it; the message modules must be loaded first.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

#include "CredentialProtection.h"
#include "DMLRecord.h"
#include "LoginAccounts.h"
#include "LoginTypes.h"
#include "MessageSession.h"
#include "SessionServer.h"

class LoginServer {
public:
    explicit LoginServer(LoginAccounts accounts);
    ~LoginServer();
    LoginServer(const LoginServer&) = delete;
    LoginServer& operator=(const LoginServer&) = delete;

    // Loads "BaseMessages", "ExtendedBaseMessages" and "LoginMessages".
    static bool LoadMessageModules(const std::string& dataDirectory);

    // 0, or -1 when the address cannot be listened on.
    int Listen(const HYInetAddress& address);
    uint16_t Port() const { return m_server.LocalAddress().Port(); }
    void Stop() { m_server.Stop(); }
    size_t SessionCount() const { return m_server.SessionCount(); }

    uint64_t RequestsReceived() const { return m_requests.load(); }
    uint64_t MalformedRequests() const { return m_malformed.load(); }
    // The accounts served; an operator (or a test) may change an account's outcome while the
    // server runs.
    const LoginAccounts& Accounts() const { return m_accounts; }
    LoginAccounts& Accounts() { return m_accounts; }

private:
    // Handles one application message; false when the connection is to be closed.
    bool OnMessage(ServerSession& session, const uint8_t* data, uint32_t length);
    void Authenticate(ServerSession& session, DMLRecord& request);
    void Validate(ServerSession& session, DMLRecord& request);
    // Finds the account of a decrypted sign-in record and checks its client key.
    const LoginAccount* CheckSignInRecord(const std::string& rec1, const SessionSalt& salt);
    // Fills the error fields of a refusal for `outcome`; false for outcomes that sign in.
    bool Refusal(LoginOutcome outcome, const LoginAccount& account, DMLRecord& reply) const;
    void Send(ServerSession& session, DMLRecord& reply);

    LoginAccounts m_accounts;
    std::map<uint64_t, std::string> m_passKeys;  // the last pass key issued per account
    const LoginErrorCodes m_errors;
    std::atomic<uint64_t> m_requests{0};
    std::atomic<uint64_t> m_malformed{0};
    SessionServer m_server;
};
