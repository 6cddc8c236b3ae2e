// Credential protection against values found independently: SHA-512 digests from coreutils,
// the published Twofish-256 vectors, and the byte positions of the record key.
#include "CredentialProtection.h"

#include <gtest/gtest.h>

#include "PasswordHasher.h"

namespace {

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

const SessionSalt kSalt{0xA1B2, 0x11223344, 0x0166};

TEST(HashText, IsBase64OfTheSha512DigestAlways88CharactersEndingInPadding) {
    // printf abc | sha512sum | xxd -r -p | base64
    EXPECT_EQ(HashText("abc"),
              "3a81oZNherrMQXNJriBBMRLm+k6JqX6iCp7u5ktV05ohkpkqJ0/BqDa6PCOj/uu9RU1EI2Q86A4qmslPpUyknw==");
    EXPECT_EQ(HashText(""),
              "z4PhNX7vuL3xVChQ1m2AB9Yg5AULVxXcg/SpIdNs6c5H0NE8XYXysP+DGNKHfuwvY7kxvUdBeoGlODJ6+SfaPg==");
    for (const std::string& input : {std::string(1, '\0'), std::string(1000, 'x'), std::string("\xff\xfe")}) {
        std::string text = HashText(input);
        EXPECT_EQ(text.size(), kHashTextLength);
        EXPECT_EQ(text.substr(86), "==");
    }
}

TEST(SaltText, IsTheThreeDecimalNumbersWithoutSeparators) {
    EXPECT_EQ(SaltText({7, 1700000000, 5}), "717000000005");
    EXPECT_EQ(SaltText({65535, 4294967295u, 999}), "655354294967295999");
}

TEST(RecordKey, PlacesTheSessionValuesAtTheirBytePositionsOfTheKeyPattern) {
    RecordKey material = MakeRecordKey(kSalt);
    std::array<uint8_t, 32> expected = RecordKeyPattern();
    expected[4] = 0xB2;   // session id, low byte
    expected[6] = 0xA1;   // session id, second byte
    expected[5] = 0x00;   // session id, third byte (always 0)
    expected[8] = 0x44;   // seconds, least significant first ...
    expected[12] = 0x33;
    expected[9] = 0x22;
    expected[13] = 0x11;
    expected[14] = 0x66;  // milliseconds, two low bytes
    expected[15] = 0x01;
    EXPECT_EQ(material.key, expected);
    EXPECT_EQ(material.initialBlock, RecordInitialPattern());
    EXPECT_NE(RecordKeyPattern(), RecordInitialPattern());
}

TEST(RecordCipher, OutputFeedbackMatchesThePublishedTwofishVectors) {
    // With a zero key and a zero register the key stream is E(0), E(E(0)), ...: the first two
    // entries of the Twofish 256-bit ECB table.
    RecordKey zero;
    std::string stream = ApplyRecordCipher(zero, std::string(32, '\0'));
    EXPECT_EQ(Hex(stream), "57FF739D4DC92C1BD7FC01700CC8216FD43BB7556EA32E46F2A282B7D45B4E0D");
    // A partial last block uses the start of that block's key stream.
    EXPECT_EQ(Hex(ApplyRecordCipher(zero, std::string(17, '\0'))), Hex(stream.substr(0, 17)));
}

TEST(RecordCipher, PassingTwiceGivesTheInputBackForEveryLength) {
    RecordKey key = MakeRecordKey(kSalt);
    for (size_t length : {0u, 1u, 15u, 16u, 17u, 100u, 1535u}) {
        std::string data;
        for (size_t i = 0; i < length; ++i) data += static_cast<char>(i * 31 + 7);
        std::string once = ApplyRecordCipher(key, data);
        EXPECT_EQ(once.size(), length);
        if (length > 0) EXPECT_NE(once, data);
        EXPECT_EQ(ApplyRecordCipher(key, once), data);
    }
}

TEST(SignInRecord, CarriesTheSessionIdNameAndClientKeyAndOnlyDecryptsWithTheSameSession) {
    std::string rec1 = EncryptSignInRecord("Ann Lee", "KEY", kSalt);
    std::string plain = std::to_string(kSalt.sid) + " Ann Lee KEY";
    EXPECT_EQ(rec1.size(), plain.size());
    EXPECT_EQ(ApplyRecordCipher(MakeRecordKey(kSalt), rec1), plain);
    SessionSalt other = kSalt;
    other.milliseconds += 1;
    EXPECT_NE(ApplyRecordCipher(MakeRecordKey(other), rec1), plain);
    EXPECT_TRUE(EncryptSignInRecord(std::string(1600, 'n'), "KEY", kSalt).empty())
        << "a plain text above 1535 bytes is refused";
}

TEST(SignInReply, YieldsTheFirstWordAndFailsOnEmptyOversizedOrBlankRecords) {
    RecordKey key = MakeRecordKey(kSalt);
    std::string passKey;
    EXPECT_TRUE(DecodeSignInReply(ApplyRecordCipher(key, "  \t pk123 rest"), kSalt, passKey));
    EXPECT_EQ(passKey, "pk123");
    EXPECT_TRUE(DecodeSignInReply(ApplyRecordCipher(key, std::string("pk\0tail", 7)), kSalt, passKey));
    EXPECT_EQ(passKey, "pk") << "the plain text ends at its first zero byte";
    EXPECT_TRUE(DecodeSignInReply(ApplyRecordCipher(key, std::string(300, 'k')), kSalt, passKey));
    EXPECT_EQ(passKey, std::string(255, 'k'));

    EXPECT_FALSE(DecodeSignInReply(ApplyRecordCipher(key, " \t\r\n "), kSalt, passKey));
    EXPECT_TRUE(passKey.empty());
    EXPECT_FALSE(DecodeSignInReply("", kSalt, passKey));
    EXPECT_FALSE(DecodeSignInReply(ApplyRecordCipher(key, std::string(1536, 'k')), kSalt, passKey));
    EXPECT_TRUE(DecodeSignInReply(ApplyRecordCipher(key, std::string(1535, 'k')), kSalt, passKey));
}

TEST(PassKey3, IsTheHashTextOfPassKeyAndSaltAndChangesWithEverySession) {
    EXPECT_EQ(ComputePassKey3("pk", kSalt), HashText("pk" + SaltText(kSalt)));
    SessionSalt next = kSalt;
    next.seconds += 1;
    EXPECT_NE(ComputePassKey3("pk", kSalt), ComputePassKey3("pk", next));
    next = kSalt;
    next.sid += 1;
    EXPECT_NE(ComputePassKey3("pk", kSalt), ComputePassKey3("pk", next));
}

TEST(PasswordHasher, WithoutTheLibraryBothReplacementsServeAndTheLoadIsTriedOnce) {
    PasswordHasher hasher("NoSuchSigilLibrary");
    std::string key = ComputeClientKey("pw", kSalt, &hasher);
    EXPECT_EQ(key, HashText(HashText("pw") + SaltText(kSalt)));
    EXPECT_EQ(key.size(), kHashTextLength);
    EXPECT_TRUE(hasher.IsBound());
    EXPECT_FALSE(hasher.HashPasswordFromLibrary());
    EXPECT_FALSE(hasher.SecondaryEncryptFromLibrary());
}

TEST(PasswordHasher, ALibraryExportingOnlySecondaryEncryptServesThatFunctionAlone) {
    PasswordHasher hasher(FAKE_SIGIL_PATH);
    std::string key = ComputeClientKey("pw", kSalt, &hasher);
    EXPECT_TRUE(hasher.SecondaryEncryptFromLibrary());
    EXPECT_FALSE(hasher.HashPasswordFromLibrary());
    EXPECT_EQ(key, "sigil(" + HashText("pw") + "|" + SaltText(kSalt) + ")");
}

}  // namespace
