#include "CredentialProtection.h"

#include <nettle/base64.h>
#include <nettle/memxor.h>
#include <nettle/sha2.h>
#include <nettle/twofish.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "PasswordHasher.h"

namespace {

// Builds a 32-byte pattern from the SHA-512 digest of a fixed phrase; the key pattern is the
// digest's first half, the initial block its second half.
std::array<uint8_t, 32> PatternHalf(bool second) {
    static const char kPhrase[] = "Larkspur sign-in record / Halcyra launcher";
    uint8_t digest[SHA512_DIGEST_SIZE];
    sha512_ctx context;
    sha512_init(&context);
    sha512_update(&context, sizeof kPhrase - 1, reinterpret_cast<const uint8_t*>(kPhrase));
    sha512_digest(&context, sizeof digest, digest);
    std::array<uint8_t, 32> pattern{};
    std::memcpy(pattern.data(), digest + (second ? 32 : 0), pattern.size());
    return pattern;
}

void WipeBytes(void* data, size_t size) {
    volatile uint8_t* bytes = static_cast<volatile uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) bytes[i] = 0;
}

}  // namespace

void WipeString(std::string& text) {
    if (!text.empty()) WipeBytes(text.data(), text.size());
    text.clear();
}

void RecordKey::Wipe() {
    WipeBytes(key.data(), key.size());
    WipeBytes(initialBlock.data(), initialBlock.size());
}

std::string SaltText(const SessionSalt& salt) {
    char text[40];
    std::snprintf(text, sizeof text, "%u%u%u", static_cast<unsigned>(salt.sid), salt.seconds,
                  salt.milliseconds);
    return text;
}

std::string HashText(const std::string& data) {
    uint8_t digest[SHA512_DIGEST_SIZE];
    sha512_ctx context;
    sha512_init(&context);
    sha512_update(&context, data.size(), reinterpret_cast<const uint8_t*>(data.data()));
    sha512_digest(&context, sizeof digest, digest);
    std::string text(BASE64_ENCODE_RAW_LENGTH(sizeof digest), '\0');
    base64_encode_raw(text.data(), sizeof digest, digest);
    WipeBytes(digest, sizeof digest);
    return text;
}

const std::array<uint8_t, 32>& RecordKeyPattern() {
    static const std::array<uint8_t, 32> pattern = PatternHalf(false);
    return pattern;
}

const std::array<uint8_t, 32>& RecordInitialPattern() {
    static const std::array<uint8_t, 32> pattern = PatternHalf(true);
    return pattern;
}

RecordKey MakeRecordKey(const SessionSalt& salt) {
    RecordKey material;
    material.key = RecordKeyPattern();
    material.initialBlock = RecordInitialPattern();
    const uint32_t sid = salt.sid;
    material.key[4] = static_cast<uint8_t>(sid);
    material.key[6] = static_cast<uint8_t>(sid >> 8);
    material.key[5] = static_cast<uint8_t>(sid >> 16);
    material.key[8] = static_cast<uint8_t>(salt.seconds);
    material.key[12] = static_cast<uint8_t>(salt.seconds >> 8);
    material.key[9] = static_cast<uint8_t>(salt.seconds >> 16);
    material.key[13] = static_cast<uint8_t>(salt.seconds >> 24);
    material.key[14] = static_cast<uint8_t>(salt.milliseconds);
    material.key[15] = static_cast<uint8_t>(salt.milliseconds >> 8);
    return material;
}

std::string ApplyRecordCipher(const RecordKey& key, const std::string& data) {
    twofish_ctx context;
    twofish256_set_key(&context, key.key.data());
    uint8_t feedback[TWOFISH_BLOCK_SIZE];
    std::memcpy(feedback, key.initialBlock.data(), sizeof feedback);

    std::string out(data);
    uint8_t* bytes = reinterpret_cast<uint8_t*>(out.data());
    for (size_t offset = 0; offset < out.size(); offset += TWOFISH_BLOCK_SIZE) {
        twofish_encrypt(&context, TWOFISH_BLOCK_SIZE, feedback, feedback);
        size_t chunk = out.size() - offset < TWOFISH_BLOCK_SIZE ? out.size() - offset
                                                                : TWOFISH_BLOCK_SIZE;
        memxor(bytes + offset, feedback, chunk);
    }
    WipeBytes(feedback, sizeof feedback);
    WipeBytes(&context, sizeof context);
    return out;
}

std::string ComputeClientKey(const std::string& password, const SessionSalt& salt,
                             PasswordHasher* hasher) {
    PasswordHasher& binding = hasher ? *hasher : PasswordHasher::Process();
    binding.BindPasswordHasher();
    std::string hashed = binding.HashPassword(password);
    std::string key = binding.SecondaryEncrypt(hashed, SaltText(salt));
    WipeString(hashed);
    return key;
}

std::string EncryptSignInRecord(const std::string& accountName, const std::string& clientKey,
                                const SessionSalt& salt) {
    std::string plain = std::to_string(salt.sid) + " " + accountName + " " + clientKey;
    if (plain.size() > kMaxSignInRecordLength) {
        WipeString(plain);
        return {};
    }
    RecordKey key = MakeRecordKey(salt);
    std::string rec1 = ApplyRecordCipher(key, plain);
    key.Wipe();
    WipeString(plain);
    return rec1;
}

bool DecodeSignInReply(const std::string& rec1, const SessionSalt& salt, std::string& passKey) {
    passKey.clear();
    if (rec1.empty() || rec1.size() > kMaxSignInRecordLength) return false;
    RecordKey key = MakeRecordKey(salt);
    std::string plain = ApplyRecordCipher(key, rec1);
    key.Wipe();
    // The plain text ends at its first zero byte, as a terminated text would.
    size_t end = plain.find('\0');
    if (end == std::string::npos) end = plain.size();
    size_t begin = 0;
    while (begin < end && std::isspace(static_cast<unsigned char>(plain[begin]))) ++begin;
    size_t stop = begin;
    while (stop < end && stop - begin < kMaxPassKeyLength &&
           !std::isspace(static_cast<unsigned char>(plain[stop])))
        ++stop;
    bool found = stop > begin;
    if (found) passKey.assign(plain, begin, stop - begin);
    WipeString(plain);
    return found;
}

std::string ComputePassKey3(const std::string& passKey, const SessionSalt& salt) {
    std::string input = passKey + SaltText(salt);
    std::string passKey3 = HashText(input);
    WipeString(input);
    return passKey3;
}
