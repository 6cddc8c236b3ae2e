// The values a sign-in sends instead of a password or a pass key, and the pass key taken back
// from the server's reply. All of them are derived from the session's values: the session id the
// server offered and the offer's time stamp (seconds since 1970 and milliseconds), so nothing that
// travels can be replayed in another session.
//
// Everything here runs on the calling thread and keeps no state except the binding of the
// password-hashing library (PasswordHasher.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class PasswordHasher;

// The session's values every derived secret is salted or keyed with.
struct SessionSalt {
    uint16_t sid = 0;
    uint32_t seconds = 0;
    uint32_t milliseconds = 0;
};

// The longest sign-in record (and reply record) in bytes.
inline constexpr size_t kMaxSignInRecordLength = 1535;
// The longest pass key read from a reply.
inline constexpr size_t kMaxPassKeyLength = 255;
// Length of a hash text: Base64 of a 64-byte SHA-512 digest.
inline constexpr size_t kHashTextLength = 88;

// "%u%u%u" of the session id, seconds and milliseconds: three decimal numbers, no separators.
std::string SaltText(const SessionSalt& salt);

// Standard Base64 (with "=" padding, no line breaks) of the SHA-512 digest of `data`: always
// 88 characters ending in "==".
std::string HashText(const std::string& data);

// The key material of the record cipher: a 32-byte Twofish key and a 32-byte initial block whose
// first 16 bytes start the feedback register.
struct RecordKey {
    std::array<uint8_t, 32> key{};
    std::array<uint8_t, 32> initialBlock{};
    // Overwrites the material so that it does not linger in memory.
    void Wipe();
};

// The program's two fixed 32-byte patterns (key, initial block), built at run time. The login
// server uses the same pair.
const std::array<uint8_t, 32>& RecordKeyPattern();
const std::array<uint8_t, 32>& RecordInitialPattern();

// The key material of one session: the key pattern with the session id's bytes at positions 4, 6
// and 5 (least significant first; the third is always 0), the seconds' four bytes at 8, 12, 9 and
// 13, and the milliseconds' two low bytes at 14 and 15; the initial block is the other pattern.
RecordKey MakeRecordKey(const SessionSalt& salt);

// Twofish-256 in output-feedback mode with the 16-byte block as feedback unit, over the whole
// message in one pass. Encrypting and decrypting are the same operation.
std::string ApplyRecordCipher(const RecordKey& key, const std::string& data);

// The client key of a name-and-password sign-in: SecondaryEncrypt(HashPassword(password), salt
// text) through `hasher` (the process-wide binding when none is given).
std::string ComputeClientKey(const std::string& password, const SessionSalt& salt,
                             PasswordHasher* hasher = nullptr);

// `Rec1` of MSG_USER_AUTHEN: "%u %s %s" of the session id, the account name and the client key,
// passed once through the record cipher. Empty when the plain text would exceed 1535 bytes.
std::string EncryptSignInRecord(const std::string& accountName, const std::string& clientKey,
                                const SessionSalt& salt);

// The pass key from a reply's `Rec1`: the first word (at most 255 characters) of its plain text.
// False for an empty or over-long `Rec1` and for a plain text without a word.
bool DecodeSignInReply(const std::string& rec1, const SessionSalt& salt, std::string& passKey);

// `PassKey3` of MSG_USER_VALIDATE: the hash text of the pass key followed by the salt text.
std::string ComputePassKey3(const std::string& passKey, const SessionSalt& salt);

// Overwrites a string's characters before it is released.
void WipeString(std::string& text);
