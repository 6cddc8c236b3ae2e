// The development login server's accounts file. One account per line, fields separated by tabs:
//
//   name  password-hash  account-id  paying  outcome  ban-text
//
// The password hash is the text HashPassword gives for the password (the hash text of the
// password); no password is ever stored. The outcome says how the server answers the account's
// sign-ins (see LoginOutcome); the ban text is sent as `TimeStamp` with ban outcomes. Lines
// starting with '#' and empty lines are ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

enum class LoginOutcome {
    Accept,         // "ok": signs in
    FreeToPlayCapped,  // "ftp-capped": signs in, capped
    AccountBanned,  // "banned": Error_AccountBanned with the ban text
    MachineBanned,  // "machine-banned": Error_MachineBanned with the ban text
    NoLogin,        // "no-login": AISNoLogin
    AuthDown,       // "auth-down": Error_AuthenFailed, Reason AuthDown
    AuthBanned,     // "auth-banned": Error_AuthenFailed, Reason AuthBanned
    Quarantined,    // "quarantined": Error_AuthenFailed, Reason AuthQuarantined
    Mismatch,       // "mismatch": Error_AuthenFailed, Reason AccountClientMismatch
    BadRecord,      // "bad-rec1": a success reply whose Rec1 does not decode
    Silent,         // "silent": never replies
    CloseConnection,  // "close": closes the connection instead of replying
};

const char* LoginOutcomeName(LoginOutcome outcome);
std::optional<LoginOutcome> LoginOutcomeFromName(const std::string& name);

struct LoginAccount {
    std::string name;
    std::string passwordHash;
    uint64_t accountId = 0;
    int paying = 0;
    LoginOutcome outcome = LoginOutcome::Accept;
    std::string banText;
};

class LoginAccounts {
public:
    // Reads the file; false with `error` saying which line is wrong (a missing file is an
    // error too).
    bool Load(const std::string& path, std::string& error);
    // Writes the file atomically.
    bool Save(const std::string& path) const;

    // False with `error` when the name is empty, holds a tab or line break, or is taken, or when
    // the id is taken. An id of 0 takes the next free one from 1000 on.
    bool Add(LoginAccount account, std::string& error);

    const LoginAccount* FindByName(const std::string& name) const;
    LoginAccount* FindByName(const std::string& name) {
        return const_cast<LoginAccount*>(std::as_const(*this).FindByName(name));
    }
    const LoginAccount* FindById(uint64_t accountId) const;
    const std::vector<LoginAccount>& All() const { return m_accounts; }

private:
    std::vector<LoginAccount> m_accounts;
};
