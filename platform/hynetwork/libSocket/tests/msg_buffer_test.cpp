#include "MsgBuffer.h"

#include <gtest/gtest.h>

#include <cstring>

#include "net_test_support.h"

namespace {

TEST(MsgBuffer, AppendAndReadStayInsideTheBlock) {
    MsgBufferRef buffer = MsgBuffer::Create(8);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(buffer->AppendU16(0xBEEF), 0);
    EXPECT_EQ(buffer->AppendU32(0x01020304), 0);
    EXPECT_EQ(buffer->AppendU32(7), -1) << "two bytes left: refused";
    EXPECT_EQ(buffer->Length(), 6u) << "a refused append writes nothing";
    const uint8_t expected[] = {0xEF, 0xBE, 0x04, 0x03, 0x02, 0x01};
    EXPECT_EQ(std::memcmp(buffer->Data(), expected, 6), 0) << "little-endian";

    uint16_t u16 = 0;
    uint32_t u32 = 0;
    EXPECT_EQ(buffer->ReadU16(u16), 0);
    EXPECT_EQ(u16, 0xBEEF);
    EXPECT_EQ(buffer->ReadU32(u32), 0);
    EXPECT_EQ(u32, 0x01020304u);
    uint8_t byte = 0;
    EXPECT_EQ(buffer->ReadU8(byte), -1) << "reading beyond the bytes in use";
    EXPECT_EQ(buffer->m_dataOffset, 6u);
}

TEST(MsgBuffer, AHeaderMovesThePayloadStartAndChainsAddUp) {
    MsgBufferRef buffer = MsgBuffer::FromBytes("\x01\x02\x00\x00hello", 9);
    ASSERT_EQ(buffer->ConsumeHeader(4), 0);
    EXPECT_EQ(buffer->Length(), 5u);
    EXPECT_EQ(std::memcmp(buffer->Data(), "hello", 5), 0);
    EXPECT_EQ(buffer->ConsumeHeader(6), -1);
    buffer->m_pChain = MsgBuffer::FromBytes("abc", 3);
    EXPECT_EQ(buffer->TotalLength(), 8u);
}

TEST(MsgBuffer, DumpListsTheFieldsAndSixteenBytesPerLine) {
    nettest::ScopedLogCapture log;
    std::vector<uint8_t> bytes(20);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
    MsgBufferRef buffer = MsgBuffer::FromBytes(bytes.data(), 20);
    buffer->m_msgType = 3;
    buffer->m_control = 1;
    buffer->m_srcId = 0x1F;
    buffer->m_pChain = MsgBuffer::FromBytes("\xAB", 1);
    buffer->Dump();
    std::vector<std::string> texts = log->Texts();
    while (!texts.empty() && texts.front().rfind("MsgBuffer this=", 0) != 0) texts.erase(texts.begin());
    ASSERT_GE(texts.size(), 17u);
    EXPECT_EQ(texts[6], "        m_msgType = 3");
    EXPECT_EQ(texts[7], "        m_control = 1");
    EXPECT_EQ(texts[8], "          m_srcId = 31 (0x1f)");
    EXPECT_EQ(texts[10], "        Length () = 20");
    EXPECT_EQ(texts[11], "   TotalLength () = 21");
    EXPECT_EQ(texts[12], "  Data = ");
    EXPECT_EQ(texts[13], "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ");
    EXPECT_EQ(texts[14], "10 11 12 13 ");
    EXPECT_EQ(texts[15], "  Chained To ....");
    EXPECT_EQ(texts.back(), "AB ");
}

}  // namespace
