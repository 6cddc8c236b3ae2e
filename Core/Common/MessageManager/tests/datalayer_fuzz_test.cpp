// Feeds seeded random mutations and truncations of valid messages, table files and archive
// headers to the decoders and loaders. Nothing may crash or read outside the bytes given (the
// sanitizer build checks the latter); each input ends in a result, a logged failure or a partial
// result.
#include <gtest/gtest.h>

#include <random>

#include "DMLDatabase.h"
#include "DMLTableFileWriter.h"
#include "FileBinary.h"
#include "FileXML.h"
#include "MessageManager.h"
#include "ResourceManager.h"
#include "WadFile.h"
#include "WadSource.h"
#include "WadWriter.h"
#include "message_test_support.h"

namespace {

class Mutator {
public:
    explicit Mutator(uint32_t seed) : m_random(seed) {}

    std::string Mutate(const std::string& original) {
        std::string data = original;
        int steps = 1 + static_cast<int>(Next(4));
        for (int i = 0; i < steps; ++i) {
            size_t size = data.size();
            switch (Next(7)) {
                case 0:  // truncate
                    data.resize(size ? Next(size) : 0);
                    break;
                case 1:  // flip one bit
                    if (size) data[Next(size)] ^= static_cast<char>(1 << Next(8));
                    break;
                case 2:  // random byte
                    if (size) data[Next(size)] = static_cast<char>(Next(256));
                    break;
                case 3:  // extreme 16-bit or 32-bit value, as lengths and counts are
                    if (size >= 4) {
                        size_t at = Next(size - 3);
                        uint32_t values[] = {0, 1, 0x7F, 0xFF, 0xFFFF, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu};
                        uint32_t v = values[Next(8)];
                        size_t width = Next(2) ? 2 : 4;
                        for (size_t k = 0; k < width; ++k) data[at + k] = static_cast<char>(v >> (8 * k));
                    }
                    break;
                case 4:  // insert a byte
                    data.insert(data.begin() + static_cast<long>(size ? Next(size + 1) : 0),
                                static_cast<char>(Next(256)));
                    break;
                case 5:  // delete a run
                    if (size) {
                        size_t at = Next(size);
                        data.erase(at, 1 + Next(std::min<size_t>(16, size - at)));
                    }
                    break;
                default:  // duplicate a run
                    if (size) {
                        size_t at = Next(size);
                        size_t length = 1 + Next(std::min<size_t>(64, size - at));
                        data.insert(Next(size + 1), original.substr(std::min(at, original.size()), length));
                    }
                    break;
            }
        }
        return data;
    }
    size_t Next(size_t bound) { return bound ? m_random() % bound : 0; }

private:
    std::mt19937 m_random;
};

const uint8_t* U8(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

class DataLayerFuzzTest : public testing::Test {
protected:
    void SetUp() override {
        MessageManager& manager = MessageManager::GetSingleton();
        manager.SetResourceManager(std::make_shared<ResourceManager>(HY_DATA_SOURCE_DIR));
        for (const char* module : {"BaseMessages", "ExtendedBaseMessages", "LoginMessages", "PatchMessages"}) {
            ASSERT_TRUE(manager.LoadMessageModule("", module));
        }
    }
    MessageManagerFixture m_fixture;
};

std::vector<std::string> SeedMessages() {
    MessageManager& manager = MessageManager::GetSingleton();
    std::vector<std::string> seeds;
    DMLRecord authen;
    manager.PrepMessage(authen, "MSG_USER_AUTHEN");
    authen.GetField("Rec1").SetValue(std::string("\x01\x02\x00\x03 encrypted", 14));
    authen.GetField("MachineID").SetValue(uint64_t{0x0000AABBCCDDEEFF});
    authen.GetField("Locale").SetValue("English");
    authen.GetField("PatchClientID").SetValue("{01234567-89AB-CDEF-0123-456789ABCDEF}");
    seeds.push_back(manager.MessageToBinary(authen));
    DMLRecord list;
    manager.PrepMessage(list, "MSG_LATEST_FILE_LIST_V2");
    list.GetField("Locale").SetValue("English");
    list.GetField("URLPrefix").SetValue("http://patch.example/Base");
    list.GetField("ListFileSize").SetValue(uint32_t{123456});
    seeds.push_back(manager.MessageToBinary(list));
    DMLRecord raw;
    raw.GetField("A").SetValue(int32_t{-5});
    raw.GetField("W").SetValue(std::u16string_view(u"wide \U0001F600"));
    raw.GetField("D").SetValue(2.5);
    seeds.push_back(manager.MessageToBinary(raw));
    DMLRecord dict;
    dict.GetField("_TargetTable").SetValue("Files");
    dict.GetField("Name").SetValue("");
    dict.GetField("Size").SetValue(uint32_t{0});
    seeds.push_back(manager.MessageToBinary(dict));
    DMLRecord custom;
    manager.PrepMessage(custom, "MSG_CUSTOMRECORD");
    custom.GetField("Name").SetValue("a.dll");
    custom.GetField("Size").SetValue(uint32_t{77});
    seeds.push_back(manager.MessageToBinary(custom));
    std::string encoded;
    raw.Encode(encoded);
    seeds.push_back(encoded);
    for (const auto& seed : seeds) EXPECT_FALSE(seed.empty());
    return seeds;
}

DMLDatabase& SampleDatabase() {
    static DMLDatabase database("FileList");
    if (database.Tables().empty()) {
        database.MakeTable("About", false)->AppendRecord().GetField("Version").SetValue(uint32_t{7});
        DMLTable* base = database.MakeTable("Base", false);
        for (int i = 0; i < 6; ++i) {
            DMLRecord& r = base->AppendRecord();
            r.GetField("SrcFileName").SetValue("Bin/file" + std::to_string(i) + ".dll");
            r.GetField("TarFileName").SetValue("");
            r.GetField("FileType").SetValue(static_cast<uint32_t>(i % 6));
            r.GetField("Size").SetValue(static_cast<uint32_t>(1000 * i));
            r.GetField("CRC").SetValue(0xDEADBEEFu + i);
            r.GetField("Key").SetValue(static_cast<int32_t>(i));
            r.GetField("Key").SetFlag(DMLF_KEY, true);
            r.GetField("Wide").SetValue(std::u16string_view(u"\u00e9t\u00e9"));
        }
    }
    return database;
}

}  // namespace

TEST_F(DataLayerFuzzTest, MutatedInputsNeverCrash) {
    MessageManager& manager = MessageManager::GetSingleton();
    std::vector<std::string> messages = SeedMessages();
    std::string moduleXml;
    ASSERT_TRUE(HY_OS::ReadWholeFile(std::string(HY_DATA_SOURCE_DIR) + "/LoginMessages.xml", moduleXml));
    std::vector<std::string> xmlSeeds = {moduleXml, WriteXmlTableFile(SampleDatabase(), true),
                                         WriteXmlTableFile(SampleDatabase(), false)};
    std::string binarySeed;
    ASSERT_TRUE(WriteBinaryTableFile(SampleDatabase(), binarySeed));
    WadWriter writer;
    writer.Add("BaseMessages.xml", moduleXml, true);
    writer.Add("Raw.bin", binarySeed, false);
    writer.Add("a", "A", false);
    std::string wadV1, wadV2;
    ASSERT_TRUE(writer.Build(wadV1, 1));
    ASSERT_TRUE(writer.Build(wadV2, 2, 3));
    std::vector<std::string> wadSeeds = {wadV1, wadV2};

    Mutator mutator(20261209);
    int inputs = 0;
    int partial = 0;  // inputs that still gave tables, records or elements
    for (int i = 0; i < 50000; ++i, ++inputs) {
        std::string data = mutator.Mutate(messages[mutator.Next(messages.size())]);
        DMLRecord record;
        int used = manager.MessageFromBinary(record, U8(data), data.size(), 255);
        ASSERT_LE(used, static_cast<int>(data.size()));
        DMLRecord decoded;
        ASSERT_LE(decoded.Decode(U8(data), data.size()), static_cast<int>(data.size()));
        if (used > 0) {
            std::string again;
            manager.MessageToBinary(again, record);  // whatever was decoded encodes again
            record.ToText(DTF_Tagged);
            record.ToText(DTF_Xml);
        }
    }
    for (int i = 0; i < 15000; ++i, ++inputs) {
        std::string data = mutator.Mutate(xmlSeeds[mutator.Next(xmlSeeds.size())]);
        DMLDatabase db(i % 2 ? "loadDatabase" : "");
        db.SetStorage(FileXML::FromView("fuzz.xml", data));
        db.Load();
        size_t records = 0;
        for (const auto& [name, table] : db.Tables()) records += table->RecordCount();
        ASSERT_LE(records, data.size());
        if (records > 0) ++partial;
    }
    for (int i = 0; i < 20000; ++i, ++inputs) {
        std::string data = mutator.Mutate(binarySeed);
        DMLDatabase db("");
        db.SetStorage(FileBinary::FromView("fuzz.bin", data));
        ASSERT_TRUE(db.Load());
        size_t records = 0;
        for (const auto& [name, table] : db.Tables()) records += table->RecordCount();
        ASSERT_LE(records, data.size() / 4);
        if (records > 0) ++partial;
    }
    for (int i = 0; i < 15000; ++i, ++inputs) {
        std::string data = mutator.Mutate(wadSeeds[mutator.Next(wadSeeds.size())]);
        WadFile wad("fuzz.wad");
        WadMemorySource source(data);
        if (!wad.LoadWadHeader(source)) continue;
        ASSERT_LE(wad.ElementCount(), data.size() / 22);
        ++partial;
        for (const auto& [name, element] : wad.Elements()) {
            std::string stored;
            if (!element.ReadPackedData(source, stored)) continue;
            std::string inflated;
            if (element.IsCompressed()) InflateElement(stored, element.Size(), inflated);
        }
    }
    EXPECT_EQ(inputs, 100000);
    // Most mutations leave something readable: the loaders must keep what they could read.
    EXPECT_GT(partial, 10000);
}
