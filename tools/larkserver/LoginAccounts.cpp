#include "LoginAccounts.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "CredentialProtection.h"
#include "OsFile.h"

namespace {

struct OutcomeName {
    LoginOutcome outcome;
    const char* name;
};

constexpr OutcomeName kOutcomeNames[] = {
    {LoginOutcome::Accept, "ok"},
    {LoginOutcome::FreeToPlayCapped, "ftp-capped"},
    {LoginOutcome::AccountBanned, "banned"},
    {LoginOutcome::MachineBanned, "machine-banned"},
    {LoginOutcome::NoLogin, "no-login"},
    {LoginOutcome::AuthDown, "auth-down"},
    {LoginOutcome::AuthBanned, "auth-banned"},
    {LoginOutcome::Quarantined, "quarantined"},
    {LoginOutcome::Mismatch, "mismatch"},
    {LoginOutcome::BadRecord, "bad-rec1"},
    {LoginOutcome::Silent, "silent"},
    {LoginOutcome::CloseConnection, "close"},
};

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

bool ParseUnsigned(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 20) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0';
}

bool IsHashText(const std::string& text) {
    if (text.size() != kHashTextLength) return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '/' && c != '=')
            return false;
    return true;
}

bool ValidText(const std::string& text) {
    return text.find_first_of("\t\r\n") == std::string::npos;
}

}  // namespace

const char* LoginOutcomeName(LoginOutcome outcome) {
    for (const auto& entry : kOutcomeNames)
        if (entry.outcome == outcome) return entry.name;
    return "ok";
}

std::optional<LoginOutcome> LoginOutcomeFromName(const std::string& name) {
    for (const auto& entry : kOutcomeNames)
        if (name == entry.name) return entry.outcome;
    return std::nullopt;
}

bool LoginAccounts::Load(const std::string& path, std::string& error) {
    m_accounts.clear();
    std::string content;
    if (!HY_OS::ReadWholeFile(path, content)) {
        error = "cannot read " + path;
        return false;
    }
    size_t start = 0;
    unsigned lineNumber = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields = SplitTabs(line);
        LoginAccount account;
        uint64_t paying = 0;
        std::optional<LoginOutcome> outcome;
        if (fields.size() != 6 || fields[0].empty() || !IsHashText(fields[1]) ||
            !ParseUnsigned(fields[2], account.accountId) || !ParseUnsigned(fields[3], paying) ||
            paying > 1000000 || !(outcome = LoginOutcomeFromName(fields[4]))) {
            error = path + ":" + std::to_string(lineNumber) + ": malformed account line";
            m_accounts.clear();
            return false;
        }
        account.name = fields[0];
        account.passwordHash = fields[1];
        account.paying = static_cast<int>(paying);
        account.outcome = *outcome;
        account.banText = fields[5];
        std::string addError;
        if (!Add(std::move(account), addError)) {
            error = path + ":" + std::to_string(lineNumber) + ": " + addError;
            m_accounts.clear();
            return false;
        }
    }
    return true;
}

bool LoginAccounts::Save(const std::string& path) const {
    std::string content =
        "# larkserver accounts: name, password hash, account id, paying, outcome, ban text\n";
    for (const LoginAccount& account : m_accounts) {
        content += account.name + "\t" + account.passwordHash + "\t" +
                   std::to_string(account.accountId) + "\t" + std::to_string(account.paying) +
                   "\t" + LoginOutcomeName(account.outcome) + "\t" + account.banText + "\n";
    }
    return HY_OS::WriteFileAtomic(path, content);
}

bool LoginAccounts::Add(LoginAccount account, std::string& error) {
    if (account.name.empty() || !ValidText(account.name) || !ValidText(account.banText)) {
        error = "an account name must not be empty, and no field may hold a tab or line break";
        return false;
    }
    if (!IsHashText(account.passwordHash)) {
        error = "the password hash is not a hash text";
        return false;
    }
    if (FindByName(account.name)) {
        error = "the account name '" + account.name + "' is taken";
        return false;
    }
    if (account.accountId == 0) {
        uint64_t next = 1000;
        for (const LoginAccount& other : m_accounts)
            if (other.accountId >= next) next = other.accountId + 1;
        account.accountId = next;
    } else if (FindById(account.accountId)) {
        error = "the account id " + std::to_string(account.accountId) + " is taken";
        return false;
    }
    m_accounts.push_back(std::move(account));
    return true;
}

const LoginAccount* LoginAccounts::FindByName(const std::string& name) const {
    for (const LoginAccount& account : m_accounts)
        if (account.name == name) return &account;
    return nullptr;
}

const LoginAccount* LoginAccounts::FindById(uint64_t accountId) const {
    for (const LoginAccount& account : m_accounts)
        if (account.accountId == accountId) return &account;
    return nullptr;
}
