#include "MessageManager.h"

#include <gtest/gtest.h>

#include "datalayer_test_support.h"
#include "message_test_support.h"

namespace {

const uint8_t* U8(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::string BaseModule() {
    return ModuleXml("BaseMessages", 2,
                     {{"MSG_CUSTOMDICT", "MSG_CUSTOMDICT", "MSG_CustomDict", ""},
                      {"MSG_CUSTOMRECORD", "MSG_CUSTOMRECORD", "MSG_CustomRecord", ""},
                      {"MSG_RAWRECORD", "MSG_RAWRECORD", "MSG_RawRecord", ""},
                      {"MSG_RAWTEXT", "MSG_RAWTEXT", "MSG_RawText", "<Text TYPE=\"STR\"></Text>"}});
}

class MessageManagerTest : public testing::Test {
protected:
    MessageManagerFixture m_fixture;
    MessageManager& m_manager = MessageManager::GetSingleton();
};

}  // namespace

TEST_F(MessageManagerTest, MessagesAreNumberedInTableNameOrder) {
    m_fixture.WriteModule("Order", ModuleXml("Order", 9,
                                             {{"B", "MSG_B", "OnB", ""},
                                              {"A", "MSG_A", "OnA", ""},
                                              {"C", "MSG_C", "OnC", ""}}));
    ASSERT_TRUE(m_manager.LoadMessageModule("unused", "Order"));
    DMLRecord r;
    m_manager.PrepMessage(r, "MSG_A");
    EXPECT_EQ(r.ServiceId(), 9);
    EXPECT_EQ(r.MessageType(), 1);
    m_manager.PrepMessage(r, "MSG_B");
    EXPECT_EQ(r.MessageType(), 2);
    m_manager.PrepMessage(r, "MSG_C");
    EXPECT_EQ(r.MessageType(), 3);
    EXPECT_EQ(m_manager.GetEventName(9, 2), "OnB");
    EXPECT_EQ(m_manager.GetMessageName(9, 3), "MSG_C");
    EXPECT_EQ(m_manager.GetMessageTable(9).RecordCount(), 4u);  // slot 0 is a placeholder
    EXPECT_EQ(m_manager.GetMessageTemplate("MSG_B")->AccessLevel(), 2);
}

TEST_F(MessageManagerTest, MsgOrderSetsTheNumberingFromThere) {
    m_fixture.WriteModule("Order", ModuleXml("Order", 9,
                                             {{"A", "MSG_A", "OnA", ""},
                                              {"B", "MSG_B", "OnB", "<_MsgOrder TYPE=\"INT\">10</_MsgOrder>"},
                                              {"C", "MSG_C", "OnC", "<_MsgAccessLvl TYPE=\"UBYT\">7</_MsgAccessLvl>"}}));
    ASSERT_TRUE(m_manager.LoadMessageModule("", "Order"));
    EXPECT_EQ(m_manager.GetMessageTemplate("MSG_B")->MessageType(), 10);
    DMLRecord* c = m_manager.GetMessageTemplate("MSG_C");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->MessageType(), 11);
    EXPECT_EQ(c->AccessLevel(), 7);
    // Access below the template's level is refused without a log.
    std::string bytes = std::string("\x09\x0B\x04\x00", 4);
    DMLRecord decoded;
    EXPECT_EQ(m_manager.MessageFromBinary(decoded, U8(bytes), bytes.size(), 6), -1);
    EXPECT_EQ(m_manager.MessageFromBinary(decoded, U8(bytes), bytes.size(), 255), 4);
}

TEST_F(MessageManagerTest, TypeLimitIs254) {
    LogCapture capture;
    m_fixture.WriteModule("Big", ModuleXml("Big", 9,
                                           {{"A", "MSG_A", "OnA", "<_MsgOrder TYPE=\"INT\">254</_MsgOrder>"},
                                            {"B", "MSG_B", "OnB", ""}}));
    ASSERT_TRUE(m_manager.LoadMessageModule("", "Big"));
    EXPECT_EQ(m_manager.GetMessageTemplate("MSG_A")->MessageType(), 254);
    EXPECT_TRUE(capture->Contains("   Trying to add more than 255 messages to service."));
    EXPECT_EQ(g_assertReports.load(), 1);
    EXPECT_TRUE(m_manager.IsServiceLoaded(9));  // with the messages added so far
    EXPECT_EQ(m_manager.GetMessageTemplate("MSG_B"), nullptr);
}

TEST_F(MessageManagerTest, ClashingTypesAndNamesRaiseReports) {
    LogCapture capture;
    m_fixture.WriteModule("Clash", ModuleXml("Clash", 9,
                                             {{"A", "MSG_A", "OnA", "<_MsgOrder TYPE=\"INT\">3</_MsgOrder>"},
                                              {"B", "MSG_B", "OnB", "<_MsgOrder TYPE=\"INT\">3</_MsgOrder>"}}));
    ASSERT_TRUE(m_manager.LoadMessageModule("", "Clash"));
    EXPECT_TRUE(capture->Contains("   Trying to add a message [0] as Type #0 which is already used by [MSG_A]"));
    EXPECT_EQ(g_assertReports.load(), 1);

    m_fixture.WriteModule("Names", ModuleXml("Names", 10,
                                             {{"A", "MSG_A", "OnOther", ""},
                                              {"B", "MSG_X", "OnA", ""}}));
    ASSERT_TRUE(m_manager.LoadMessageModule("", "Names"));
    EXPECT_TRUE(capture->Contains("ADDING DUPLICATE MESSAGE NAME: MSG_A"));
    EXPECT_TRUE(capture->Contains("Duplicate message handler name: OnA"));
    EXPECT_EQ(g_assertReports.load(), 2);  // the handler clash is only logged
    DMLRecord r;
    m_manager.PrepMessage(r, "MSG_A");
    EXPECT_EQ(r.ServiceId(), 9);           // the first one keeps the name
    EXPECT_EQ(m_manager.GetEventName(10, 2), "OnA");
}

TEST_F(MessageManagerTest, LoadingTwiceAndMissingModules) {
    LogCapture capture;
    m_fixture.WriteModule("BaseMessages", BaseModule());
    ASSERT_TRUE(m_manager.LoadMessageModule("", "BaseMessages"));
    EXPECT_TRUE(capture->Contains("   Protocol Type: T2 : test"));
    EXPECT_TRUE(capture->Contains("   Message Module: T2 : Loaded OK"));
    ASSERT_TRUE(m_manager.LoadMessageModule("", "BaseMessages"));
    EXPECT_TRUE(capture->Contains("   Message Service Type Already Loaded: #2"));
    EXPECT_FALSE(m_manager.LoadMessageModule("", "Missing"));
    EXPECT_TRUE(capture->Contains("MessageManager::LoadMessageModule: RequestAsset failed for 'Missing.xml'."));
    EXPECT_EQ(m_manager.RawRecordType(), 3);
    EXPECT_EQ(m_manager.CustomRecordType(), 2);
    EXPECT_EQ(m_manager.CustomDictType(), 1);
}

TEST_F(MessageManagerTest, ReceivedServiceAndTypeAreChecked) {
    LogCapture capture;
    m_fixture.WriteModule("BaseMessages", BaseModule());
    ASSERT_TRUE(m_manager.LoadMessageModule("", "BaseMessages"));
    DMLRecord r;
    std::string zero("\x00\x01\x04\x00", 4);
    EXPECT_EQ(m_manager.MessageFromBinary(r, U8(zero), zero.size(), 255), -1);
    EXPECT_TRUE(capture->Contains("Received invalid message service 0 (0x0)."));
    std::string invalid("\xFF\x01\x04\x00", 4);
    EXPECT_EQ(m_manager.MessageFromBinary(r, U8(invalid), invalid.size(), 255), -1);
    EXPECT_TRUE(capture->Contains("Received invalid message service 255 (0xff)."));
    capture->ClearTexts();
    std::string beyond("\x02\x09\x04\x00", 4);
    EXPECT_EQ(m_manager.MessageFromBinary(r, U8(beyond), beyond.size(), 255), -1);
    EXPECT_TRUE(capture->Texts().empty());
    EXPECT_EQ(m_manager.GetEventName(255, 1), "");
    EXPECT_TRUE(capture->Contains("MessageManager::GetEventName: Invalid service parameter."));
}

TEST_F(MessageManagerTest, DictionaryDefinesTheCustomRecordLayout) {
    m_fixture.WriteModule("BaseMessages", BaseModule());
    ASSERT_TRUE(m_manager.LoadMessageModule("", "BaseMessages"));
    DMLRecord dictionary;
    dictionary.GetField("_TargetTable").SetValue("Things");
    dictionary.GetField("A").SetValue(int32_t{0});
    dictionary.GetField("B").SetValue("");
    std::string dictBytes = m_manager.MessageToBinary(dictionary);
    ASSERT_FALSE(dictBytes.empty());
    EXPECT_EQ(dictBytes[1], 1);  // the MSG_CUSTOMDICT type
    DMLRecord received;
    ASSERT_EQ(m_manager.MessageFromBinary(received, U8(dictBytes), dictBytes.size(), 255),
              static_cast<int>(dictBytes.size()));
    EXPECT_EQ(received.GetField("_TargetTable").ToStr(), "Things");
    EXPECT_EQ(m_manager.GetEventName(received), "MSG_CustomDict");

    // A (INT) then B as a 2-byte length and its text.
    std::string custom("\x02\x02\x0D\x00\x2A\x00\x00\x00\x03\x00xyz", 13);
    DMLRecord record;
    ASSERT_EQ(m_manager.MessageFromBinary(record, U8(custom), custom.size(), 255), 13);
    EXPECT_EQ(record.GetField("A").GetInt(), 42);
    EXPECT_EQ(record.GetField("B").ToStr(), "xyz");
    EXPECT_EQ(m_manager.GetEventName(record), "MSG_CustomRecord");
    EXPECT_EQ(m_manager.GetMessageName(2, 2), "MSG_CUSTOMRECORD");
}

TEST_F(MessageManagerTest, UnknownNamesAndOversizedMessages) {
    LogCapture capture;
    m_fixture.WriteModule("T", ModuleXml("T", 9, {{"A", "MSG_A", "OnA", "<S TYPE=\"STR\"></S>"}}));
    ASSERT_TRUE(m_manager.LoadMessageModule("", "T"));
    DMLRecord unknown;
    EXPECT_TRUE(m_manager.PrepMessage(unknown, "MSG_NOPE"));
    EXPECT_TRUE(capture->Contains("Message 'MSG_NOPE' could not be found!"));
    EXPECT_TRUE(m_manager.MessageToBinary(unknown).empty());
    EXPECT_TRUE(capture->Contains("MessageManager::MessageToBinary() - No Template Record.  Srv=0 Type=0"));
    EXPECT_EQ(m_manager.GetMessageTemplate("MSG_NOPE"), nullptr);
    EXPECT_TRUE(capture->Contains("MessageManager::GetMessageTemplate() - Unknown message type 'MSG_NOPE'!"));

    DMLRecord big;
    m_manager.PrepMessage(big, "MSG_A");
    big.GetField("S").SetValue(std::string(70000, 'x'));
    std::string out = "x";
    EXPECT_FALSE(m_manager.MessageToBinary(out, big));
    EXPECT_EQ(out, "x");
    EXPECT_TRUE(capture->Contains(
        "MessageManager::::MessageToBinary() - ToBinary encountered an error (message too large?).  "
        "Name=MSG_A Size=65541"));
}

TEST_F(MessageManagerTest, FixedLengthMessagesWhenTheModuleAllowsThem) {
    std::string xml = ModuleXml("Fixed", 9,
                                {{"A", "MSG_A", "OnA", "<V TYPE=\"USHRT\">0</V><G TYPE=\"GID\">0</G>"},
                                 {"B", "MSG_B", "OnB", "<S TYPE=\"STR\"></S>"}});
    xml.replace(xml.find("</RECORD></_ProtocolInfo>"), 0,
                "<ProtocolAllowFixedLength TYPE=\"UBYT\">1</ProtocolAllowFixedLength>");
    m_fixture.WriteModule("Fixed", xml);
    ASSERT_TRUE(m_manager.LoadMessageModule("", "Fixed"));
    EXPECT_TRUE(m_manager.GetMessageTemplate("MSG_A")->IsFixedLength());
    EXPECT_EQ(m_manager.GetMessageTemplate("MSG_A")->FixedSize(), 10);
    EXPECT_FALSE(m_manager.GetMessageTemplate("MSG_B")->IsFixedLength());
    DMLRecord a;
    m_manager.PrepMessage(a, "MSG_A");
    a.GetField("V").SetValue(uint16_t{0x0102});
    std::string bytes = m_manager.MessageToBinary(a);
    ASSERT_EQ(bytes, std::string("\x09\x01\x02\x01\0\0\0\0\0\0\0\0", 12));
    DMLRecord decoded;
    EXPECT_EQ(m_manager.MessageFromBinary(decoded, U8(bytes), bytes.size(), 255), 12);
    EXPECT_EQ(decoded.GetField("V").GetUShort(), 0x0102);
}
