// The message modules that ship in data/: every message round-trips with every field set, and the
// modules load from a packed Root.wad as the launcher finds them.
#include <gtest/gtest.h>

#include "EventDispatcher.h"
#include "MessageManager.h"
#include "WadWriter.h"
#include "datalayer_test_support.h"
#include "message_test_support.h"

namespace {

const char* const kModules[] = {"BaseMessages", "ExtendedBaseMessages", "LoginMessages",
                                "PatchMessages"};

// A distinct value for every field, in the field's own type.
void FillField(DMLField& field, uint8_t type, int seed) {
    switch (type) {
        case DML_GID: field.SetValue(uint64_t{0x0123456789ABCDEF} + seed); break;
        case DML_INT: field.SetValue(int32_t{-1000 - seed}); break;
        case DML_UINT: field.SetValue(uint32_t{0xF0000000u + seed}); break;
        case DML_FLT: field.SetValue(1.5f + seed); break;
        case DML_BYT: field.SetValue(static_cast<int8_t>(-seed)); break;
        case DML_UBYT: field.SetValue(static_cast<uint8_t>(200 + seed)); break;
        case DML_USHRT: field.SetValue(static_cast<uint16_t>(60000 + seed)); break;
        case DML_DBL: field.SetValue(-2.25 * seed); break;
        case DML_STRING: field.SetValue(std::string("t\xC3\xA9xt ") + std::to_string(seed)); break;
        case DML_WSTRING: field.SetValue(std::u16string_view(u"w\u00e9")); break;
        default: break;
    }
}

class ShippedModulesTest : public testing::Test {
protected:
    void LoadAll() {
        for (const char* module : kModules) {
            ASSERT_TRUE(MessageManager::GetSingleton().LoadMessageModule("", module)) << module;
        }
    }
    MessageManagerFixture m_fixture;
};

}  // namespace

TEST_F(ShippedModulesTest, EveryMessageRoundTrips) {
    MessageManager::GetSingleton().SetResourceManager(
        std::make_shared<ResourceManager>(HY_DATA_SOURCE_DIR));
    LoadAll();
    MessageManager& manager = MessageManager::GetSingleton();
    int messages = 0;
    for (uint8_t service : {2, 3, 7, 8}) {
        DMLTable& table = manager.GetMessageTable(service);
        for (size_t type = 1; type < table.RecordCount(); ++type) {
            DMLRecord* messageTemplate = table.RecordAt(type);
            if (!messageTemplate || !messageTemplate->HasField("_MsgName")) continue;
            const std::string name = messageTemplate->FindField("_MsgName")->ToStr();
            DMLRecord record;
            manager.PrepMessage(record, name);
            for (size_t i = 0; i < messageTemplate->FieldCount(); ++i) {
                const auto& entry = messageTemplate->EntryAt(i);
                if (!entry.field.HasFlag(DMLF_XFER)) continue;
                FillField(record.GetField(entry.Name()), entry.field.Type(), static_cast<int>(i));
            }
            std::string bytes = manager.MessageToBinary(record);
            ASSERT_FALSE(bytes.empty()) << name;
            DMLRecord decoded;
            ASSERT_EQ(manager.MessageFromBinary(decoded, reinterpret_cast<const uint8_t*>(bytes.data()),
                                                bytes.size(), 255),
                      static_cast<int>(bytes.size()))
                << name;
            EXPECT_EQ(manager.GetEventName(decoded), manager.GetEventName(record)) << name;
            for (size_t i = 0; i < record.FieldCount(); ++i) {
                const auto& entry = record.EntryAt(i);
                const DMLField* got = decoded.FindField(entry.Name());
                ASSERT_NE(got, nullptr) << name << "." << entry.Name();
                EXPECT_EQ(got->Type(), entry.field.Type()) << name << "." << entry.Name();
                EXPECT_EQ(got->Compare(entry.field), 0) << name << "." << entry.Name();
                EXPECT_EQ(got->ToStr(), entry.field.ToStr()) << name << "." << entry.Name();
            }
            ++messages;
        }
    }
    EXPECT_EQ(messages, 4 + 2 + 4 + 1);
    EXPECT_EQ(manager.GetEventName(7, manager.GetMessageTemplate("MSG_USER_AUTHEN_RSP")->MessageType()),
              "MSG_UserAuthenRsp");
    EXPECT_EQ(manager.GetEventName(8, manager.GetMessageTemplate("MSG_LATEST_FILE_LIST_V2")->MessageType()),
              "MSG_LatestFileListV2");
    EXPECT_NE(manager.RawRecordType(), 0);
    EXPECT_NE(manager.CustomRecordType(), 0);
    EXPECT_NE(manager.CustomDictType(), 0);
}

TEST_F(ShippedModulesTest, ModulesLoadFromAPackedRootArchiveAndDispatch) {
    WadWriter writer;
    for (const char* module : kModules) {
        std::string xml;
        ASSERT_TRUE(HY_OS::ReadWholeFile(std::string(HY_DATA_SOURCE_DIR) + "/" + module + ".xml", xml));
        ASSERT_TRUE(writer.Add(std::string(module) + ".xml", xml, true));
    }
    ASSERT_TRUE(writer.WriteFile(m_fixture.Dir() + "/Root.wad"));
    LoadAll();
    HY_OS::DeleteFile(m_fixture.Dir() + "/Root.wad");

    // A received authentication reply reaches the handler registered under its event name.
    struct Client {
        int OnReply(DMLRecord& record) {
            userId = record.GetField("UserID").GetGID();
            return 1;
        }
        uint64_t userId = 0;
    } client;
    EventDispatcher dispatcher;
    EventHandler<Client, DMLRecord&> handler("MSG_UserAuthenRsp", &client, &Client::OnReply);
    dispatcher.RegisterHandler(handler);
    MessageManager& manager = MessageManager::GetSingleton();
    DMLRecord reply;
    manager.PrepMessage(reply, "MSG_USER_AUTHEN_RSP");
    reply.GetField("UserID").SetValue(uint64_t{77});
    std::string bytes = manager.MessageToBinary(reply);
    bytes.push_back('\0');  // the sender's terminating zero, ignored by the header's length
    DMLRecord received;
    ASSERT_GT(manager.MessageFromBinary(received, reinterpret_cast<const uint8_t*>(bytes.data()),
                                        bytes.size(), 255), 0);
    Event event(received);
    EXPECT_EQ(dispatcher.SendEvent(manager.GetEventName(received), event), 1);
    EXPECT_EQ(client.userId, 77u);
}
