// The binding of the optional password-hashing library "Sigil" (the platform's file name for
// it: libSigil.so here), loaded by name at run time and never unloaded. Each of its two
// functions is looked up separately; the program's own replacement serves each one it lacks:
//   HashPassword(x)        = hash text of x
//   SecondaryEncrypt(h, s) = hash text of h followed directly by s
//
// The library's functions take zero-terminated 8-bit strings and return a new zero-terminated
// string allocated with malloc, which the caller releases with free; a null answer is treated as
// a failure of that call and the replacement answers instead.
#pragma once

#include <mutex>
#include <string>

class PasswordHasher {
public:
    using HashPasswordFunction = char* (*)(const char* password);
    using SecondaryEncryptFunction = char* (*)(const char* hashedPassword, const char* salt);

    // `libraryName` is loaded by name ("Sigil"), or as a path when it holds '/' or '.'.
    explicit PasswordHasher(std::string libraryName);
    PasswordHasher(const PasswordHasher&) = delete;
    PasswordHasher& operator=(const PasswordHasher&) = delete;

    // The process-wide binding of "Sigil" that the login client uses.
    static PasswordHasher& Process();

    // Binds both functions; does work only while HashPassword is still unbound, so a missing
    // library is tried once.
    void BindPasswordHasher();

    std::string HashPassword(const std::string& password);
    std::string SecondaryEncrypt(const std::string& hashedPassword, const std::string& salt);

    // Whether each function is served by the library (false: the replacement, or unbound).
    bool HashPasswordFromLibrary() const;
    bool SecondaryEncryptFromLibrary() const;
    bool IsBound() const;

private:
    mutable std::mutex m_lock;
    std::string m_libraryName;
    bool m_hashPasswordBound = false;
    bool m_secondaryEncryptBound = false;
    HashPasswordFunction m_hashPassword = nullptr;
    SecondaryEncryptFunction m_secondaryEncrypt = nullptr;
};
