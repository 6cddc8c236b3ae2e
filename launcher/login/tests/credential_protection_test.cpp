// Credential protection against values found independently: SHA-512 digests from coreutils, the
// published Twofish-256 table, and the byte positions of the record key.
#include "CredentialProtection.h"

#include <gtest/gtest.h>

#include "PasswordHasher.h"

namespace {

const SessionSalt kSalt{0xA1B2, 0x11223344, 0x0166};

std::string Hex(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) out += "0123456789ABCDEF"[c >> 4], out += "0123456789ABCDEF"[c & 15];
    return out;
}

TEST(CredentialProtection, HashTextIsBase64OfSha512AndSaltTextHasNoSeparators) {
    // printf abc | sha512sum | xxd -r -p | base64
    EXPECT_EQ(HashText("abc"),
              "3a81oZNherrMQXNJriBBMRLm+k6JqX6iCp7u5ktV05ohkpkqJ0/BqDa6PCOj/uu9RU1EI2Q86A4qmslPpUyknw==");
    for (const std::string& input : {std::string(), std::string(1, '\0'), std::string(1000, 'x')}) {
        EXPECT_EQ(HashText(input).size(), 88u);
        EXPECT_EQ(HashText(input).substr(86), "==");
    }
    EXPECT_EQ(SaltText({65535, 4294967295u, 999}), "655354294967295999");
}

TEST(CredentialProtection, RecordKeyPlacesTheSessionValuesAtTheirBytePositions) {
    RecordKey material = MakeRecordKey(kSalt);
    std::array<uint8_t, 32> expected = RecordKeyPattern();
    expected[4] = 0xB2, expected[6] = 0xA1, expected[5] = 0x00;                      // session id
    expected[8] = 0x44, expected[12] = 0x33, expected[9] = 0x22, expected[13] = 0x11;  // seconds
    expected[14] = 0x66, expected[15] = 0x01;                                        // milliseconds
    EXPECT_EQ(material.key, expected);
    EXPECT_EQ(material.initialBlock, RecordInitialPattern());
    EXPECT_NE(RecordKeyPattern(), RecordInitialPattern());
}

TEST(CredentialProtection, TheCipherIsTwofishOutputFeedbackAndUndoesItself) {
    // Zero key, zero register: the key stream is E(0), E(E(0)), the first two entries of the
    // Twofish 256-bit ECB table; a partial block takes the start of its block's stream.
    RecordKey zero;
    EXPECT_EQ(Hex(ApplyRecordCipher(zero, std::string(32, '\0'))),
              "57FF739D4DC92C1BD7FC01700CC8216FD43BB7556EA32E46F2A282B7D45B4E0D");
    EXPECT_EQ(Hex(ApplyRecordCipher(zero, std::string(17, '\0'))),
              "57FF739D4DC92C1BD7FC01700CC8216FD4");
    RecordKey key = MakeRecordKey(kSalt);
    for (size_t length : {1u, 16u, 17u, 1535u}) {
        std::string data(length, 'a');
        std::string once = ApplyRecordCipher(key, data);
        EXPECT_NE(once, data);
        EXPECT_EQ(ApplyRecordCipher(key, once), data);
    }
}

TEST(CredentialProtection, SignInRecordsAndRepliesOnlyOpenWithTheirSession) {
    std::string rec1 = EncryptSignInRecord("Ann Lee", "KEY", kSalt);
    EXPECT_EQ(ApplyRecordCipher(MakeRecordKey(kSalt), rec1), "41394 Ann Lee KEY");
    SessionSalt other = kSalt;
    other.milliseconds += 1;
    EXPECT_NE(ApplyRecordCipher(MakeRecordKey(other), rec1), "41394 Ann Lee KEY");
    EXPECT_TRUE(EncryptSignInRecord(std::string(1600, 'n'), "KEY", kSalt).empty());

    RecordKey key = MakeRecordKey(kSalt);
    std::string passKey;
    EXPECT_TRUE(DecodeSignInReply(ApplyRecordCipher(key, "  \t pk123 rest"), kSalt, passKey));
    EXPECT_EQ(passKey, "pk123");
    EXPECT_TRUE(DecodeSignInReply(ApplyRecordCipher(key, std::string(300, 'k')), kSalt, passKey));
    EXPECT_EQ(passKey, std::string(255, 'k'));
    EXPECT_FALSE(DecodeSignInReply(ApplyRecordCipher(key, " \t\r\n "), kSalt, passKey));
    EXPECT_FALSE(DecodeSignInReply("", kSalt, passKey));
    EXPECT_FALSE(DecodeSignInReply(ApplyRecordCipher(key, std::string(1536, 'k')), kSalt, passKey));
    EXPECT_TRUE(passKey.empty());
}

TEST(CredentialProtection, PassKey3ChangesWithEverySession) {
    EXPECT_EQ(ComputePassKey3("pk", kSalt), HashText("pk" + SaltText(kSalt)));
    SessionSalt next = kSalt;
    next.seconds += 1;
    EXPECT_NE(ComputePassKey3("pk", kSalt), ComputePassKey3("pk", next));
}

TEST(CredentialProtection, EachHashingFunctionIsTakenFromTheLibraryOnlyWhenItExportsIt) {
    PasswordHasher missing("NoSuchSigilLibrary");
    EXPECT_EQ(ComputeClientKey("pw", kSalt, &missing), HashText(HashText("pw") + SaltText(kSalt)));
    EXPECT_TRUE(missing.IsBound());

    PasswordHasher partial(FAKE_SIGIL_PATH);  // exports SecondaryEncrypt alone
    EXPECT_EQ(ComputeClientKey("pw", kSalt, &partial),
              "sigil(" + HashText("pw") + "|" + SaltText(kSalt) + ")");
    EXPECT_TRUE(partial.SecondaryEncryptFromLibrary());
    EXPECT_FALSE(partial.HashPasswordFromLibrary());
}

}  // namespace
