#include "PasswordHasher.h"

#include <cstdlib>

#include "CredentialProtection.h"
#include "OsLibrary.h"

namespace {

// Takes over a string returned by the library; null is a failed call.
bool TakeLibraryString(char* text, std::string& out) {
    if (text == nullptr) return false;
    out.assign(text);
    std::free(text);
    return true;
}

}  // namespace

PasswordHasher::PasswordHasher(std::string libraryName) : m_libraryName(std::move(libraryName)) {}

PasswordHasher& PasswordHasher::Process() {
    static PasswordHasher binding("Sigil");
    return binding;
}

void PasswordHasher::BindPasswordHasher() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_hashPasswordBound) return;
    if (m_secondaryEncryptBound) {
        m_hashPasswordBound = true;  // the replacement
        return;
    }
    // The library stays loaded for the life of the process: its functions are kept.
    HY_OS::LibraryHandle library = HY_OS::LoadLibraryByName(m_libraryName);
    if (library != nullptr) {
        m_hashPassword = reinterpret_cast<HashPasswordFunction>(
            HY_OS::GetLibrarySymbol(library, "HashPassword"));
        m_secondaryEncrypt = reinterpret_cast<SecondaryEncryptFunction>(
            HY_OS::GetLibrarySymbol(library, "SecondaryEncrypt"));
    }
    m_hashPasswordBound = true;
    m_secondaryEncryptBound = true;
}

std::string PasswordHasher::HashPassword(const std::string& password) {
    HashPasswordFunction function;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        function = m_hashPassword;
    }
    std::string result;
    if (function != nullptr && TakeLibraryString(function(password.c_str()), result)) return result;
    return HashText(password);
}

std::string PasswordHasher::SecondaryEncrypt(const std::string& hashedPassword,
                                             const std::string& salt) {
    SecondaryEncryptFunction function;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        function = m_secondaryEncrypt;
    }
    std::string result;
    if (function != nullptr &&
        TakeLibraryString(function(hashedPassword.c_str(), salt.c_str()), result))
        return result;
    std::string input = hashedPassword + salt;
    result = HashText(input);
    WipeString(input);
    return result;
}

bool PasswordHasher::HashPasswordFromLibrary() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_hashPassword != nullptr;
}

bool PasswordHasher::SecondaryEncryptFromLibrary() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_secondaryEncrypt != nullptr;
}

bool PasswordHasher::IsBound() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_hashPasswordBound;
}
