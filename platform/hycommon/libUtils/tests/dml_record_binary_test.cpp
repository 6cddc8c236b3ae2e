#include "DMLRecord.h"

#include <gtest/gtest.h>

#include "DMLMessageTypes.h"
#include "datalayer_test_support.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out.push_back(static_cast<char>(v));
    return out;
}

const uint8_t* U8(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// Gives the special messages of service 2 known types for one test.
class SpecialTypes {
public:
    SpecialTypes(uint8_t raw, uint8_t custom, uint8_t dict) {
        DMLSpecialTypes::rawRecord = raw;
        DMLSpecialTypes::customRecord = custom;
        DMLSpecialTypes::customDict = dict;
    }
    ~SpecialTypes() {
        DMLSpecialTypes::rawRecord = 0;
        DMLSpecialTypes::customRecord = 0;
        DMLSpecialTypes::customDict = 0;
    }
};

// Template: A INT, B STR, C UBYT (not transferred), D USHRT.
DMLRecord MakeTemplate() {
    DMLRecord t;
    t.GetField("A").SetValue(int32_t{0});
    t.GetField("B").SetValue("");
    t.GetField("C").SetValue(uint8_t{0});
    t.GetField("C").SetFlag(DMLF_XFER, false);
    t.GetField("D").SetValue(uint16_t{0});
    t.SetMessage(true);
    return t;
}

DMLRecord MakeMessage() {
    DMLRecord r;
    r.SetServiceId(7);
    r.SetMessageType(3);
    r.GetField("D").SetValue(int32_t{0x1234});  // converted into the template's USHRT
    r.GetField("B").SetValue("hi");
    r.GetField("A").SetValue(-2.9);             // converted into INT: -2
    r.GetField("C").SetValue(uint8_t{9});
    return r;
}

}  // namespace

TEST(DMLRecordBinaryTest, TemplatedFormMatchesTheLayout) {
    DMLRecord t = MakeTemplate();
    std::string out;
    ASSERT_TRUE(MakeMessage().ToBinary(out, &t));
    EXPECT_EQ(out, Bytes({7, 3, 14, 0, 0xFE, 0xFF, 0xFF, 0xFF, 2, 0, 'h', 'i', 0x34, 0x12}));

    DMLRecord decoded;
    ASSERT_EQ(decoded.FromBinary(U8(out), out.size(), &t), 14);
    EXPECT_EQ(decoded.ServiceId(), 7);
    EXPECT_EQ(decoded.MessageType(), 3);
    EXPECT_TRUE(decoded.IsMessage());
    EXPECT_EQ(decoded.GetField("A").GetInt(), -2);
    EXPECT_EQ(decoded.GetField("B").ToStr(), "hi");
    EXPECT_EQ(decoded.GetField("D").GetUShort(), 0x1234);
    EXPECT_FALSE(decoded.HasField("C"));
}

TEST(DMLRecordBinaryTest, FixedLengthTemplatesHaveATwoByteHeader) {
    DMLRecord t;
    t.GetField("A").SetValue(int32_t{0});
    t.GetField("D").SetValue(uint16_t{0});
    t.SetMessage(true);
    ASSERT_TRUE(t.ComputeFixedLength());
    EXPECT_EQ(t.FixedSize(), 6);
    std::string out;
    ASSERT_TRUE(MakeMessage().ToBinary(out, &t));
    EXPECT_EQ(out, Bytes({7, 3, 0xFE, 0xFF, 0xFF, 0xFF, 0x34, 0x12}));
    DMLRecord decoded;
    EXPECT_EQ(decoded.FromBinary(U8(out), out.size(), &t), 8);
    EXPECT_EQ(decoded.GetField("D").GetUShort(), 0x1234);

    DMLRecord withText = MakeTemplate();
    EXPECT_FALSE(withText.ComputeFixedLength());
    EXPECT_EQ(withText.FixedSize(), 0);
}

TEST(DMLRecordBinaryTest, MissingFieldsEncodeAsZeroValues) {
    DMLRecord t = MakeTemplate();
    DMLRecord empty;
    empty.SetServiceId(7);
    empty.SetMessageType(3);
    std::string out;
    ASSERT_TRUE(empty.ToBinary(out, &t));
    EXPECT_EQ(out, Bytes({7, 3, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(DMLRecordBinaryTest, SizeLimitIsExactly65535Bytes) {
    DMLRecord t;
    t.GetField("S").SetValue("");
    t.SetMessage(true);
    DMLRecord r;
    r.SetServiceId(7);
    r.SetMessageType(1);
    r.GetField("S").SetValue(std::string(65535 - 6, 'x'));
    std::string out;
    ASSERT_TRUE(r.ToBinary(out, &t));
    EXPECT_EQ(out.size(), 65535u);
    EXPECT_EQ(static_cast<uint8_t>(out[2]), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(out[3]), 0xFF);

    LogCapture capture;
    r.GetField("S").SetValue(std::string(65535 - 5, 'x'));
    std::string tooLarge = "keep";
    EXPECT_FALSE(r.ToBinary(tooLarge, &t));
    EXPECT_EQ(tooLarge, "keep");
    EXPECT_TRUE(capture->Contains("DMLRecord::ToBinary: Created message larger than 65535 bytes!"));
}

TEST(DMLRecordBinaryTest, SelfDescribingRawRecord) {
    SpecialTypes types(2, 3, 4);
    DMLRecord r;
    r.GetField("X").SetValue(uint32_t{5});
    r.GetField("Y").SetValue("ab");
    std::string out;
    ASSERT_TRUE(r.ToBinary(out, nullptr));
    EXPECT_EQ(out, Bytes({2, 2, 22, 0,
                          1, 0, 'X', 3, 0x28, 5, 0, 0, 0,
                          1, 0, 'Y', 9, 0x28, 2, 0, 'a', 'b'}));
    DMLRecord decoded;
    ASSERT_EQ(decoded.FromBinary(U8(out), out.size(), nullptr), 22);
    EXPECT_EQ(decoded.GetField("X").Type(), DML_UINT);
    EXPECT_EQ(decoded.GetField("X").GetUInt(), 5u);
    EXPECT_EQ(decoded.GetField("Y").ToStr(), "ab");
}

TEST(DMLRecordBinaryTest, DictionaryCarriesOnlyTheTargetTableValue) {
    SpecialTypes types(2, 3, 4);
    DMLRecord r;
    r.GetField("_TargetTable").SetValue("T");
    r.GetField("X").SetValue(uint32_t{5});
    std::string out;
    ASSERT_TRUE(r.ToBinary(out, nullptr));
    std::string expected = Bytes({2, 4, 28, 0, 12, 0});
    expected += "_TargetTable";
    expected += Bytes({9, 0x28, 1, 0, 'T', 1, 0, 'X', 3, 0x28});
    EXPECT_EQ(out, expected);
    DMLRecord decoded;
    ASSERT_EQ(decoded.FromBinary(U8(out), out.size(), nullptr), 28);
    EXPECT_EQ(decoded.GetField("_TargetTable").ToStr(), "T");
    EXPECT_EQ(decoded.GetField("X").Type(), DML_UINT);
    EXPECT_EQ(decoded.GetField("X").GetUInt(), 0u);
}

TEST(DMLRecordBinaryTest, EncodeFormHasAZeroServiceAndType) {
    DMLRecord r;
    r.GetField("_TargetTable").SetValue("T");
    r.GetField("X").SetValue(int8_t{-1});
    std::string out;
    ASSERT_TRUE(r.Encode(out));
    std::string expected = Bytes({0, 0, 29, 0, 12, 0});
    expected += "_TargetTable";
    expected += Bytes({9, 0x28, 1, 0, 'T', 1, 0, 'X', 5, 0x28, 0xFF});
    EXPECT_EQ(out, expected);
    DMLRecord decoded;
    ASSERT_EQ(decoded.Decode(U8(out), out.size()), 29);
    EXPECT_EQ(decoded.GetField("X").GetByte(), -1);
    EXPECT_EQ(decoded.GetField("_TargetTable").ToStr(), "T");
}

TEST(DMLRecordBinaryTest, IncompleteMessageWaitsAndChangesNoValues) {
    LogCapture capture;
    DMLRecord t = MakeTemplate();
    std::string out;
    ASSERT_TRUE(MakeMessage().ToBinary(out, &t));
    DMLRecord decoded;
    decoded.GetField("A").SetValue(int32_t{77});
    EXPECT_EQ(decoded.FromBinary(U8(out), out.size() - 1, &t), -1);
    EXPECT_EQ(decoded.GetField("A").GetInt(), 77);
    EXPECT_EQ(decoded.ServiceId(), 7);
    EXPECT_TRUE(capture->Contains("Waiting for complete message."));
    EXPECT_EQ(decoded.FromBinary(U8(out), 3, &t), -1);
}

TEST(DMLRecordBinaryTest, CorruptedHeadersAreRefused) {
    LogCapture capture;
    DMLRecord t = MakeTemplate();
    DMLRecord decoded;
    std::string zeroType = Bytes({7, 0, 4, 0});
    EXPECT_EQ(decoded.FromBinary(U8(zeroType), zeroType.size(), &t), -2);
    EXPECT_TRUE(capture->Contains("Received corrupted message service or type."));
    std::string shortLength = Bytes({7, 3, 1, 0});
    EXPECT_EQ(decoded.FromBinary(U8(shortLength), shortLength.size(), &t), -2);
}

TEST(DMLRecordBinaryTest, ShortAndLongBodiesAreReported) {
    LogCapture capture;
    DMLRecord t = MakeTemplate();
    // Only A is present.
    std::string shortBody = Bytes({7, 3, 8, 0, 1, 0, 0, 0});
    DMLRecord decoded;
    EXPECT_EQ(decoded.FromBinary(U8(shortBody), shortBody.size(), &t), 8);
    EXPECT_EQ(decoded.GetField("A").GetInt(), 1);
    EXPECT_TRUE(capture->Contains("DMLRecord::FromBinary: Missing field: B"));
    EXPECT_TRUE(capture->Contains("DMLRecord::FromBinary: Fewer message fields than expected.  "
                                  "Expected 3, Received 1, MsgType 3, MSgService 7"));
    // Two extra bytes after the last field: the whole message is consumed.
    std::string longBody = Bytes({7, 3, 16, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xAA, 0xBB});
    longBody = Bytes({7, 3, 16, 0, 1, 0, 0, 0, 0, 0, 5, 0, 0xAA, 0xBB, 0xCC, 0xDD});
    DMLRecord second;
    EXPECT_EQ(second.FromBinary(U8(longBody), longBody.size(), &t), 16);
    EXPECT_EQ(second.GetField("D").GetUShort(), 5);
    EXPECT_TRUE(capture->Contains(
        "DMLRecord::FromBinary: Message size is larger than expected.  Expected 12 bytes, "
        "Received 16 bytes, MsgType 3, MsgService 7"));
}

TEST(DMLRecordBinaryTest, MessagesWithoutUsableTemplateAreSkippedWhole) {
    LogCapture capture;
    std::string message = Bytes({7, 3, 6, 0, 1, 2});
    DMLRecord decoded;
    EXPECT_EQ(decoded.FromBinary(U8(message), message.size(), nullptr), 6);
    EXPECT_TRUE(capture->Contains("Expected template record is missing for message type: 3"));
    DMLRecord notAMessage;
    notAMessage.GetField("A").SetValue(int32_t{0});
    EXPECT_EQ(decoded.FromBinary(U8(message), message.size(), &notAMessage), 6);
    EXPECT_TRUE(capture->Contains("Received an unknown message type: 3"));
}

TEST(DMLRecordBinaryTest, SelfDescribingDecodeStopsOnBadNames) {
    SpecialTypes types(2, 3, 4);
    // Name length 40 exceeds 31: decoding stops and consumes everything given.
    std::string message = Bytes({2, 2, 8, 0, 40, 0, 'a', 'b', 0xEE});
    DMLRecord decoded;
    EXPECT_EQ(decoded.FromBinary(U8(message), message.size(), nullptr), 9);
    EXPECT_EQ(decoded.FieldCount(), 0u);
}

TEST(DMLRecordBinaryTest, ReceivedFlagsAndTypesArrive) {
    SpecialTypes types(2, 3, 4);
    DMLRecord r;
    r.GetField("L").SetValue(uint32_t{5});
    r.GetField("L").SetFlag(DMLF_LOCK, true);
    r.GetField("K").SetValue(2.5);
    r.GetField("K").SetFlag(DMLF_KEY, true);
    std::string out;
    ASSERT_TRUE(r.ToBinary(out, nullptr));
    DMLRecord decoded;
    ASSERT_EQ(decoded.FromBinary(U8(out), out.size(), nullptr), static_cast<int>(out.size()));
    EXPECT_EQ(decoded.GetField("L").Type(), DML_UINT);
    EXPECT_TRUE(decoded.GetField("L").HasFlag(DMLF_LOCK));
    EXPECT_EQ(decoded.GetField("L").GetUInt(), 5u);
    EXPECT_EQ(decoded.GetField("K").Type(), DML_DBL);
    EXPECT_TRUE(decoded.GetField("K").HasFlag(DMLF_KEY));
}
