#include "LoginServer.h"

#include <cstdio>
#include <random>

#include "LogMessage.h"
#include "MessageManager.h"

namespace {

constexpr const char* kCategory = "LARKSERVER";

std::string RandomHex(size_t bytes) {
    std::random_device source;
    std::string text;
    char digits[3];
    for (size_t i = 0; i < bytes; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned>(source() & 0xFF));
        text += digits;
    }
    return text;
}

// Compares without stopping at the first difference, so the time taken does not tell how much
// of a guessed key was right.
bool SameSecret(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

SessionSalt SaltOf(const ServerSession& session) {
    return SessionSalt{session.Record().ownSessionId, session.Record().createdSeconds,
                       session.Record().createdMilliseconds};
}

}  // namespace

LoginServer::LoginServer(LoginAccounts accounts)
    : m_accounts(std::move(accounts)),
      m_server([this] {
          return std::make_unique<MessageSession>(
              [this](MessageSession& session, const uint8_t* data, uint32_t length) {
                  return OnMessage(session, data, length);
              });
      }) {}

LoginServer::~LoginServer() {
    m_server.Stop();
    for (auto& [id, key] : m_passKeys) WipeString(key);
}

bool LoginServer::LoadMessageModules(const std::string& dataDirectory) {
    MessageManager& messages = MessageManager::GetSingleton();
    for (const char* module : {"BaseMessages", "ExtendedBaseMessages", "LoginMessages"})
        if (!messages.LoadMessageModule(dataDirectory, module)) return false;
    return true;
}

int LoginServer::Listen(const HYInetAddress& address) { return m_server.Listen(address); }

bool LoginServer::OnMessage(ServerSession& session, const uint8_t* data, uint32_t length) {
    ++m_requests;
    DMLRecord request;
    int used = 0;
    std::string name = DecodeRequest(data, length, request, used);
    if (name == "MSG_USER_AUTHEN") {
        Authenticate(session, request);
        return true;
    }
    if (name == "MSG_USER_VALIDATE") {
        Validate(session, request);
        return true;
    }
    ++m_malformed;
    HY_LOG(LL_Warning, kCategory, "LoginServer::OnMessage",
           "Closing the connection from %s: the message is not a login request (%d)",
           session.Record().peer.c_str(), used);
    return false;
}

const LoginAccount* LoginServer::CheckSignInRecord(const std::string& rec1,
                                                   const SessionSalt& salt) {
    if (rec1.empty() || rec1.size() > kMaxSignInRecordLength) return nullptr;
    RecordKey key = MakeRecordKey(salt);
    std::string plain = ApplyRecordCipher(key, rec1);
    key.Wipe();
    // "<session id> <account name> <client key>": the name may hold spaces, the key does not.
    size_t first = plain.find(' ');
    size_t last = plain.rfind(' ');
    const LoginAccount* account = nullptr;
    if (first != std::string::npos && last != first &&
        plain.substr(0, first) == std::to_string(salt.sid)) {
        std::string name = plain.substr(first + 1, last - first - 1);
        std::string clientKey = plain.substr(last + 1);
        const LoginAccount* candidate = m_accounts.FindByName(name);
        if (candidate) {
            std::string input = candidate->passwordHash + SaltText(salt);
            std::string expected = HashText(input);
            if (SameSecret(expected, clientKey)) account = candidate;
            WipeString(input);
            WipeString(expected);
        }
        WipeString(clientKey);
    }
    WipeString(plain);
    return account;
}

bool LoginServer::Refusal(LoginOutcome outcome, const LoginAccount& account,
                          DMLRecord& reply) const {
    auto failed = [&](const char* reason) {
        reply.GetField("Error").SetValue(m_errors.authenFailed);
        reply.GetField("Reason").SetValue(reason);
    };
    switch (outcome) {
        case LoginOutcome::AccountBanned:
            reply.GetField("Error").SetValue(m_errors.accountBanned);
            reply.GetField("TimeStamp").SetValue(std::string_view(account.banText));
            return true;
        case LoginOutcome::MachineBanned:
            reply.GetField("Error").SetValue(m_errors.machineBanned);
            reply.GetField("TimeStamp").SetValue(std::string_view(account.banText));
            return true;
        case LoginOutcome::NoLogin:
            reply.GetField("Error").SetValue(m_errors.noLogin);
            return true;
        case LoginOutcome::AuthDown: failed(kReasonAuthDown); return true;
        case LoginOutcome::AuthBanned: failed(kReasonAuthBanned); return true;
        case LoginOutcome::Quarantined: failed(kReasonAuthQuarantined); return true;
        case LoginOutcome::Mismatch: failed(kReasonAccountClientMismatch); return true;
        default: return false;
    }
}

void LoginServer::Authenticate(ServerSession& session, DMLRecord& request) {
    SessionSalt salt = SaltOf(session);
    const LoginAccount* account = CheckSignInRecord(TextField(request, "Rec1"), salt);
    DMLRecord reply;
    MessageManager::GetSingleton().PrepMessage(reply, "MSG_USER_AUTHEN_RSP");
    if (!account) {
        HY_LOG(LL_Status, kCategory, "LoginServer::Authenticate",
               "Sign-in refused: unknown account or wrong password (session %u)",
               static_cast<unsigned>(salt.sid));
        reply.GetField("Error").SetValue(m_errors.authenFailed);
        reply.GetField("Reason").SetValue("WrongNameOrPassword");
        Send(session, reply);
        return;
    }
    HY_LOG(LL_Status, kCategory, "LoginServer::Authenticate", "Sign-in of '%s' (id %llu): %s",
           account->name.c_str(), static_cast<unsigned long long>(account->accountId),
           LoginOutcomeName(account->outcome));
    switch (account->outcome) {
        case LoginOutcome::Silent:
            return;
        case LoginOutcome::CloseConnection:
            session.Close(true);
            return;
        case LoginOutcome::BadRecord: {
            // A success reply whose record holds no word once decrypted.
            RecordKey key = MakeRecordKey(salt);
            reply.GetField("Rec1").SetValue(std::string_view(ApplyRecordCipher(key, "   \t  ")));
            key.Wipe();
            reply.GetField("UserID").SetValue(account->accountId);
            Send(session, reply);
            return;
        }
        default:
            break;
    }
    if (Refusal(account->outcome, *account, reply)) {
        Send(session, reply);
        return;
    }
    std::string& passKey = m_passKeys[account->accountId];
    WipeString(passKey);
    passKey = RandomHex(16);
    RecordKey key = MakeRecordKey(salt);
    std::string rec1 = ApplyRecordCipher(key, passKey);
    key.Wipe();
    if (account->outcome == LoginOutcome::FreeToPlayCapped)
        reply.GetField("Error").SetValue(m_errors.ftpCapped);
    else
        reply.GetField("Error").SetValue(uint32_t{0});
    reply.GetField("Rec1").SetValue(std::string_view(rec1));
    reply.GetField("UserID").SetValue(account->accountId);
    reply.GetField("PayingUser").SetValue(static_cast<int32_t>(account->paying));
    reply.GetField("JSessionID").SetValue(std::string_view(RandomHex(16)));
    Send(session, reply);
}

void LoginServer::Validate(ServerSession& session, DMLRecord& request) {
    SessionSalt salt = SaltOf(session);
    const DMLField* userId = request.FindField("UserID");
    uint64_t accountId = userId ? userId->GetGID() : 0;
    const LoginAccount* account = m_accounts.FindById(accountId);
    auto issued = m_passKeys.find(accountId);
    bool keyMatches = false;
    if (account && issued != m_passKeys.end()) {
        std::string expected = ComputePassKey3(issued->second, salt);
        keyMatches = SameSecret(expected, TextField(request, "PassKey3"));
        WipeString(expected);
    }
    DMLRecord reply;
    MessageManager::GetSingleton().PrepMessage(reply, "MSG_USER_VALIDATE_RSP");
    if (!keyMatches) {
        HY_LOG(LL_Status, kCategory, "LoginServer::Validate",
               "Validation of id %llu refused: no such account or wrong pass key",
               static_cast<unsigned long long>(accountId));
        reply.GetField("Error").SetValue(m_errors.validateFailed);
        Send(session, reply);
        return;
    }
    HY_LOG(LL_Status, kCategory, "LoginServer::Validate", "Validation of '%s' (id %llu): %s",
           account->name.c_str(), static_cast<unsigned long long>(accountId),
           LoginOutcomeName(account->outcome));
    switch (account->outcome) {
        case LoginOutcome::Silent:
            return;
        case LoginOutcome::CloseConnection:
            session.Close(true);
            return;
        case LoginOutcome::FreeToPlayCapped:
            reply.GetField("Error").SetValue(m_errors.ftpCapped);
            break;
        case LoginOutcome::AccountBanned:
        case LoginOutcome::MachineBanned:
        case LoginOutcome::NoLogin:
            Refusal(account->outcome, *account, reply);
            break;
        case LoginOutcome::Accept:
            reply.GetField("Error").SetValue(uint32_t{0});
            reply.GetField("PayingUser").SetValue(static_cast<int32_t>(account->paying));
            break;
        default:
            // A validation has no answer for the authentication service's own refusals: the
            // pass key is refused instead.
            reply.GetField("Error").SetValue(m_errors.validateFailed);
            break;
    }
    Send(session, reply);
}

void LoginServer::Send(ServerSession& session, DMLRecord& reply) {
    if (!SendReply(session, reply))
        HY_LOG(LL_Warning, kCategory, "LoginServer::Send", "Could not send the reply to %s",
               session.Record().peer.c_str());
}
