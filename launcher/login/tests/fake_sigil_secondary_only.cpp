// A stand-in for the password-hashing library that exports SecondaryEncrypt alone, so that the
// tests see each function bound on its own.
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" __attribute__((visibility("default"))) char* SecondaryEncrypt(const char* hashed,
                                                                          const char* salt) {
    std::string text = std::string("sigil(") + hashed + "|" + salt + ")";
    char* out = static_cast<char*>(std::malloc(text.size() + 1));
    if (out) std::memcpy(out, text.c_str(), text.size() + 1);
    return out;
}
