#include "DMLField.h"

#include <gtest/gtest.h>

#include "DMLRecord.h"
#include "DMLTextConvert.h"
#include "datalayer_test_support.h"

TEST(DMLFieldTest, NewFieldIsIntZeroWithTransferFlagOnly) {
    DMLField field;
    EXPECT_EQ(field.Type(), DML_INT);
    EXPECT_EQ(field.Flags(), DMLF_XFER);
    EXPECT_EQ(field.ValidMask(), 0);
    EXPECT_EQ(field.GetInt(), 0);
}

TEST(DMLFieldTest, TextWithNumericPrefixReadsAsNumbers) {
    DMLField field;
    field.SetValue("12abc");
    EXPECT_EQ(field.GetInt(), 12);
    EXPECT_EQ(field.GetUInt(), 12u);
    EXPECT_DOUBLE_EQ(field.GetDouble(), 12.0);
    EXPECT_EQ(field.Type(), DML_STRING);
    DMLField absent;  // a text type without a text object
    absent.SetType(DML_UNKNOWN);
    absent.SetType(DML_STRING);
    EXPECT_EQ(absent.StrSlot(), nullptr);
    EXPECT_EQ(absent.GetInt(), 0);
    EXPECT_EQ(absent.GetGID(), 0u);
}

TEST(DMLFieldTest, LargeGidReadsItsLowWords) {
    DMLField field;
    field.SetValue(uint64_t{0x1'8000'0005});
    EXPECT_EQ(field.GetInt(), static_cast<int32_t>(0x80000005u));
    EXPECT_DOUBLE_EQ(field.GetDouble(), 2147483653.0);
    EXPECT_EQ(field.GetUShort(), 5);
    EXPECT_EQ(field.ToStr(), "6442450949");
}

TEST(DMLFieldTest, SmallTypesExtendBySign) {
    DMLField field;
    field.SetValue(int8_t{-2});
    EXPECT_EQ(field.GetInt(), -2);
    EXPECT_EQ(field.GetUShort(), 0xFFFE);
    EXPECT_EQ(field.GetGID(), UINT64_MAX - 1);
    EXPECT_EQ(field.GetByte(), -2);
    EXPECT_EQ(field.ToStr(), "-2");
    DMLField unsignedByte;
    unsignedByte.SetValue(uint8_t{200});
    EXPECT_EQ(unsignedByte.GetInt(), 200);
    EXPECT_EQ(unsignedByte.GetByte(), static_cast<int8_t>(200));
    EXPECT_EQ(unsignedByte.GetUByte(), 200);
}

TEST(DMLFieldTest, FloatsTruncateTowardZero) {
    DMLField field;
    field.SetValue(-300.75);
    EXPECT_EQ(field.GetInt(), -300);
    EXPECT_EQ(field.GetUByte(), static_cast<uint8_t>(-300));
    EXPECT_EQ(field.ToStr(), "-300.750000");
    field.SetValue(1e30);  // saturates instead of overflowing
    EXPECT_EQ(field.GetGID(), UINT64_MAX);
}

TEST(DMLFieldTest, LockedFieldKeepsItsType) {
    DMLField field;
    field.SetValue(uint8_t{1});
    field.SetFlag(DMLF_LOCK, true);
    field.SetValue(int32_t{300});
    EXPECT_EQ(field.Type(), DML_UBYT);
    EXPECT_EQ(field.GetUByte(), 44);
    EXPECT_EQ(field.GetInt(), 44);
    field.SetValue("7");
    EXPECT_EQ(field.Type(), DML_UBYT);
    EXPECT_EQ(field.GetUByte(), 7);
}

TEST(DMLFieldTest, LockedUnknownTypeFallsBackToString) {
    LogCapture capture;
    DMLField field;
    field.SetType(DML_UNKNOWN);
    field.SetFlag(DMLF_LOCK, true);
    field.SetValue(int32_t{5});
    EXPECT_EQ(field.Type(), DML_STRING);
    EXPECT_FALSE(field.HasFlag(DMLF_LOCK));
    EXPECT_EQ(field.ToStr(), "5");
    EXPECT_TRUE(capture->Contains(
        "DMLField with type locked as DML_UNKNOWN.  Unlocking Type and using DML_STRING."));
}

TEST(DMLFieldTest, SettingMarksFieldAndOwnerModified) {
    DMLRecord record;
    DMLField& field = record.GetField("A");
    field.SetModified(false);
    record.SetModified(false);
    field.SetType(DML_STRING);
    EXPECT_FALSE(field.IsModified());
    field.SetValue(uint32_t{3});
    EXPECT_TRUE(field.IsModified());
    EXPECT_TRUE(record.IsModified());
    EXPECT_EQ(field.ValidMask(), DMLTypeBit(DML_UINT));
}

TEST(DMLFieldTest, ConversionsAreCachedUntilTheNextWrite) {
    DMLField field;
    field.SetValue(int32_t{42});
    EXPECT_EQ(field.ToStr(), "42");
    EXPECT_EQ(field.ValidMask(), DMLTypeBit(DML_INT) | DMLTypeBit(DML_STRING));
    field.SetValue(int32_t{43});
    EXPECT_EQ(field.ValidMask(), DMLTypeBit(DML_INT));
    EXPECT_EQ(field.ToStr(), "43");
}

TEST(DMLFieldTest, WideTextConvertsWithSurrogatePairs) {
    DMLField field;
    field.SetValue(std::u16string_view(u"h\u00e9\U0001F600"));
    EXPECT_EQ(field.ToStr(), "h\xC3\xA9\xF0\x9F\x98\x80");
    DMLField narrow;
    narrow.SetValue("\xF0\x9F\x98\x80!");
    EXPECT_EQ(narrow.ToWStr(), std::u16string(u"\U0001F600!"));
}

TEST(DMLFieldTest, MalformedTextConversionsFailAndKeepThePreviousSlot) {
    LogCapture capture;
    DMLField wide;
    const char16_t unpaired[] = {u'a', 0xD800, u'b'};
    wide.SetValue(std::u16string_view(unpaired, 3));
    EXPECT_EQ(wide.ToStr(), "");
    EXPECT_TRUE(capture->Contains("Unable to convert a wide string to a string."));
    DMLField narrow;
    narrow.SetValue("\xC0\xAF");  // overlong
    EXPECT_EQ(narrow.ToWStr(), u"");
    EXPECT_TRUE(capture->Contains("Unable to convert a string to a wide string."));
    DMLField absent;
    absent.SetType(DML_UNKNOWN);
    absent.SetType(DML_WSTRING);
    EXPECT_EQ(absent.ToStr(), "");
    EXPECT_TRUE(capture->Contains("Trying to convert an empty wide string to a string."));
}

TEST(DMLFieldTest, ComparisonUsesTheLeftType) {
    DMLField number;
    number.SetValue(int32_t{10});
    DMLField text;
    text.SetValue("9");
    EXPECT_TRUE(text > number);    // as text: "9" after "10"
    EXPECT_FALSE(text <= number);
    EXPECT_TRUE(number > text);    // as INT: 10 after 9
    EXPECT_FALSE(number < text);
    DMLField big;
    big.SetValue(uint64_t{1} << 63);
    DMLField one;
    one.SetValue(uint64_t{1});
    EXPECT_TRUE(one < big);
    EXPECT_TRUE(big >= one);
}

TEST(DMLFieldTest, CopyTakesOrMovesText) {
    DMLField source;
    source.SetValue("hello");
    source.SetFlag(DMLF_INDEXED, true);
    source.SetPersistence(PER_LIST);
    DMLField copy;
    copy.CopyFrom(source, false);
    EXPECT_EQ(copy.ToStr(), "hello");
    EXPECT_FALSE(copy.HasFlag(DMLF_INDEXED));
    EXPECT_TRUE(copy.IsModified());
    EXPECT_EQ(copy.Persistence(), PER_LIST);
    DMLField moved;
    moved.CopyFrom(source, true);
    EXPECT_EQ(moved.ToStr(), "hello");
    EXPECT_EQ(source.StrSlot(), nullptr);
}

TEST(DMLFieldTest, BinaryValuesAreLittleEndianAndTruncationFails) {
    DMLField field;
    field.SetValue(uint32_t{0x01020304});
    std::string out;
    field.AppendBinary(DML_UINT, out);
    field.AppendBinary(DML_USHRT, out);
    field.AppendBinary(DML_STRING, out);
    EXPECT_EQ(out, std::string("\x04\x03\x02\x01\x04\x03\x08\x00" "16909060", 16));

    DMLField reader;
    const uint8_t* data = reinterpret_cast<const uint8_t*>(out.data());
    const uint8_t* cursor = data;
    ASSERT_TRUE(reader.FromBinary(DML_UINT, cursor, data + out.size()));
    EXPECT_EQ(reader.GetUInt(), 0x01020304u);
    cursor = data + 6;
    EXPECT_FALSE(reader.FromBinary(DML_STRING, cursor, data + out.size() - 1));
    EXPECT_EQ(cursor, data + out.size() - 1);
    EXPECT_EQ(reader.GetUInt(), 0x01020304u);  // unchanged by the failed read
}

TEST(DMLFieldTest, Base64RoundTripsAndRejectsGarbage) {
    EXPECT_EQ(Base64Encode("hi!?"), "aGkhPw==");
    std::string bytes;
    ASSERT_TRUE(Base64Decode("aGkhPw==", bytes));
    EXPECT_EQ(bytes, "hi!?");
    EXPECT_FALSE(Base64Decode("a*b=", bytes));
}
