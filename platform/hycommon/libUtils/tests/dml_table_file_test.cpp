#include <gtest/gtest.h>

#include <cstdio>

#include "DMLDatabase.h"
#include "DMLMessageTypes.h"
#include "DMLTableFileWriter.h"
#include "DMLTextConvert.h"
#include "FileBinary.h"
#include "FileXML.h"
#include "OsFile.h"
#include "datalayer_test_support.h"

namespace {

bool LoadXml(DMLDatabase& db, const std::string& text) {
    db.SetStorage(FileXML::FromBytes("test.xml", text));
    return db.Load();
}

const std::string kHeader = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

}  // namespace

TEST(FileXMLTest, TokenizerSplitsAttributes) {
    std::vector<std::string_view> tokens;
    FileXML::Tokenize("Name KEY=\"TRUE\" TYPE=\"WSTR\" X=\"a b\",", tokens);
    std::vector<std::string_view> expected = {"Name", "KEY", "=", "TRUE", "TYPE", "=",
                                              "WSTR", "X", "=", "a b", ","};
    EXPECT_EQ(tokens, expected);
}

TEST(FileXMLTest, FieldsTakeTheirTypesAndAttributes) {
    LogCapture capture;
    std::string wide = Base64Encode(Utf16ToLEBytes(u"Gr\u00fc\u00dfe"));
    DMLDatabase db("Test");
    ASSERT_TRUE(LoadXml(db, kHeader + "<Test>\n<Files>\n"
                                      "  <RECORD>\n"
                                      "    <Count TYPE=\"UINT\">42</Count>\n"
                                      "    <Plain>42</Plain>\n"
                                      "    <Word TYPE=\"WSTR\">" + wide + "</Word>\n"
                                      "    <Id KEY=\"TRUE\" NOXFER=\"TRUE\" LEN=\"70000\" PER=\"INHERITS\" TYPE=\"GID\">9</Id>\n"
                                      "  </RECORD>\n"
                                      "  <!-- a <comment> -- between records -->\n"
                                      "  <RECORD><Count TYPE=\"UINT\">7</Count></RECORD>\n"
                                      "</Files>\n</Test>\n"));
    DMLTable* files = db.FindTable("Files");
    ASSERT_NE(files, nullptr);
    ASSERT_EQ(files->RecordCount(), 2u);
    DMLRecord* first = files->RecordAt(0);
    const DMLField* count = first->FindField("Count");
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->Type(), DML_UINT);
    EXPECT_EQ(count->GetUInt(), 42u);
    EXPECT_FALSE(count->IsModified());
    EXPECT_EQ(first->FindField("Plain")->Type(), DML_STRING);
    EXPECT_EQ(first->FindField("Plain")->ToStr(), "42");
    EXPECT_TRUE(capture->Contains("test.xml:Files:Plain - No type specified in XML file.  Defaulting to String."));
    EXPECT_EQ(first->FindField("Word")->ToWStr(), u"Gr\u00fc\u00dfe");
    const DMLField* id = first->FindField("Id");
    EXPECT_EQ(id->GetGID(), 9u);
    EXPECT_TRUE(id->HasFlag(DMLF_KEY));
    EXPECT_TRUE(id->HasFlag(DMLF_INDEXED));
    EXPECT_FALSE(id->HasFlag(DMLF_XFER));
    EXPECT_EQ(static_cast<uint16_t>(id->DeclaredLength()), 70000 & 0xFFFF);
    EXPECT_EQ(id->Persistence(), PER_INHERIT);
    EXPECT_EQ(files->RecordAt(1)->FindField("Count")->GetUInt(), 7u);
    EXPECT_EQ(db.Name(), "Test");
    EXPECT_TRUE(db.AtEnd());

    DMLField key;
    key.SetValue(uint64_t{9});
    EXPECT_EQ(files->FindByKey(key), first);
}

TEST(FileXMLTest, KeyIndexFollowsValueChanges) {
    DMLDatabase db("Keys");
    ASSERT_TRUE(LoadXml(db, kHeader + "<Keys><T><RECORD><K KEY=\"TRUE\" TYPE=\"INT\">1</K></RECORD>"
                                      "<RECORD><K KEY=\"TRUE\" TYPE=\"INT\">2</K></RECORD></T></Keys>"));
    DMLTable* table = db.FindTable("T");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->KeyCount(), 2u);
    table->RecordAt(0)->GetField("K").SetValue(int32_t{5});
    DMLField five;
    five.SetValue(int32_t{5});
    DMLField one;
    one.SetValue(int32_t{1});
    EXPECT_EQ(table->FindByKey(five), table->RecordAt(0));
    EXPECT_EQ(table->FindByKey(one), nullptr);
    EXPECT_EQ(table->KeyCount(), 2u);

    // A copy is independent: it may outlive the table, and changing it moves no key.
    auto copy = std::make_unique<DMLRecord>(*table->RecordAt(1));
    EXPECT_EQ(copy->Table(), nullptr);
    copy->GetField("K").SetValue(int32_t{9});
    EXPECT_EQ(table->KeyCount(), 2u);
    DMLRecordRef held(table->RecordAt(1));
    db.SetStorage(nullptr);
    table->Clear();
    EXPECT_EQ(held->Table(), nullptr);
    held->GetField("K").SetValue(int32_t{3});  // no index to update any more
    copy.reset();
}

TEST(FileXMLTest, HeaderMustBeExact) {
    LogCapture capture;
    DMLDatabase db("X");
    EXPECT_FALSE(LoadXml(db, "<?xml version='1.0' ?>\n<X></X>"));
    EXPECT_TRUE(capture->Contains("test.xml: No valid XML Header found in table."));
    DMLDatabase plain("X");
    EXPECT_TRUE(LoadXml(plain, "<?xml version=\"1.0\" ?><X><T></T></X>"));
    EXPECT_NE(plain.FindTable("T"), nullptr);
}

TEST(FileXMLTest, TableListGivesTheReadingOrder) {
    LogCapture capture;
    std::string list = "<_TableList><RECORD><Name TYPE=\"STR\">B</Name></RECORD>"
                       "<RECORD><Name TYPE=\"STR\">A</Name></RECORD></_TableList>";
    DMLDatabase good("D");
    ASSERT_TRUE(LoadXml(good, kHeader + "<D>" + list +
                                  "<B><RECORD><V TYPE=\"INT\">2</V></RECORD></B>"
                                  "<A><RECORD><V TYPE=\"INT\">1</V></RECORD></A></D>"));
    ASSERT_NE(good.FindTable("A"), nullptr);
    EXPECT_EQ(good.FindTable("A")->RecordAt(0)->FindField("V")->GetInt(), 1);
    EXPECT_EQ(good.FindTable("B")->RecordAt(0)->FindField("V")->GetInt(), 2);
    EXPECT_EQ(good.FindTable("_TableList"), nullptr);

    DMLDatabase swapped("D");
    ASSERT_TRUE(LoadXml(swapped, kHeader + "<D>" + list + "<A></A><B></B></D>"));
    EXPECT_TRUE(capture->Contains("test.xml: No valid table name/level found in XML file's table."));
}

TEST(FileXMLTest, TruncatedFileKeepsTheTablesReadSoFar) {
    LogCapture capture;
    std::string text = kHeader + "<D><A><RECORD><V TYPE=\"INT\">1</V></RECORD></A>"
                                 "<B><RECORD><V TYPE=\"INT\">2</V></RECORD></B></D>";
    DMLDatabase db("D");
    ASSERT_TRUE(LoadXml(db, text.substr(0, text.find("<B>") + 20)));
    ASSERT_NE(db.FindTable("A"), nullptr);
    EXPECT_EQ(db.FindTable("A")->RecordCount(), 1u);
    EXPECT_TRUE(capture->Contains("test.xml: Table not terminated in XML file."));
}

TEST(FileXMLTest, MissingFileFailsWithALogLine) {
    LogCapture capture;
    DMLDatabase db("D");
    db.SetStorage(std::make_unique<FileXML>("/nonexistent/dir/Nothing"));
    EXPECT_FALSE(db.Load());
    EXPECT_TRUE(capture->Contains("Couldn't open /nonexistent/dir/Nothing.xml [DATABASE]"));
}

namespace {

// Stands in for the message manager: decodes with the current custom-record layout, which every
// dictionary replaces.
class TestCodec : public DMLMessageCodec {
public:
    TestCodec() {
        DMLSpecialTypes::rawRecord = 1;
        DMLSpecialTypes::customRecord = 2;
        DMLSpecialTypes::customDict = 3;
        SetDMLMessageCodec(this);
    }
    ~TestCodec() override {
        SetDMLMessageCodec(nullptr);
        DMLSpecialTypes::rawRecord = 0;
        DMLSpecialTypes::customRecord = 0;
        DMLSpecialTypes::customDict = 0;
    }
    int DecodeMessage(DMLRecord& record, const uint8_t* data, size_t size, uint8_t) override {
        if (size < 2) return -1;
        bool custom = data[0] == 2 && data[1] == 2;
        int used = record.FromBinary(data, size, custom ? &m_layout : nullptr);
        if (used > 0 && data[1] == 3) {
            m_layout.CopyEntriesFrom(record);
            m_layout.RemoveField(kDMLTargetTable);
        }
        return used;
    }

private:
    DMLRecord m_layout;
};

std::string U32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
    return s;
}

}  // namespace

TEST(FileBinaryTest, HandBuiltFileLoads) {
    TestCodec codec;
    // _TableList: one record naming "T"; T: a count-0 section... then a real one.
    std::string file;
    file += U32(2);
    file += std::string("\x02\x03\x1B\x00\x0C\x00_TargetTable\x09\x28\x0A\x00_TableList"
                        "\x04\x00Name\x09\x28", 4 + 2 + 12 + 2 + 12 + 2 + 4 + 2);
    file[4 + 2] = static_cast<char>(file.size() - 4);  // total length of the dictionary
    file += std::string("\x02\x02\x07\x00\x01\x00T", 7);
    file += std::string("\x02\x02\x07\x00\x01\x00U", 7);
    file += U32(0);  // T: empty, no schema
    file += U32(1);  // U: one record of V (UINT)
    std::string dict("\x02\x03\x00\x00\x0C\x00_TargetTable\x09\x28\x01\x00U\x01\x00V\x03\x28", 28);
    dict[2] = static_cast<char>(dict.size());
    file += dict;
    file += std::string("\x02\x02\x08\x00\x2A\x00\x00\x00", 8);

    DMLDatabase db("");
    db.SetStorage(FileBinary::FromBytes("test.bin", file));
    ASSERT_TRUE(db.Load());
    DMLTable* t = db.FindTable("T");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->RecordCount(), 0u);
    EXPECT_FALSE(t->HasPrototype());
    DMLTable* u = db.FindTable("U");
    ASSERT_NE(u, nullptr);
    ASSERT_EQ(u->RecordCount(), 1u);
    EXPECT_EQ(u->RecordAt(0)->FindField("V")->GetUInt(), 42u);
    EXPECT_FALSE(u->RecordAt(0)->IsMessage());
    ASSERT_TRUE(u->HasPrototype());
    EXPECT_FALSE(u->Prototype()->HasField("_TargetTable"));
}

TEST(FileBinaryTest, WriterOutputReadsBackThroughAFile) {
    TestCodec codec;
    DMLDatabase source("S");
    DMLTable* table = source.MakeTable("Files", false);
    for (int i = 0; i < 3000; ++i) {
        DMLRecord& r = table->AppendRecord();
        r.GetField("Name").SetValue(std::string("file") + std::to_string(i) + std::string(40, 'x'));
        r.GetField("Size").SetValue(static_cast<uint32_t>(i));
    }
    std::string bytes;
    ASSERT_TRUE(WriteBinaryTableFile(source, bytes));
    ASSERT_GT(bytes.size(), FileBinary::kBufferSize);  // exercises the buffer refill
    std::string path = testing::TempDir() + "/dml_writer_test";
    ASSERT_TRUE(HY_OS::WriteFileAtomic(path + ".bin", bytes));
    DMLDatabase db("S");
    db.SetStorage(std::make_unique<FileBinary>(path));
    ASSERT_TRUE(db.Load());
    DMLTable* files = db.FindTable("Files");
    ASSERT_NE(files, nullptr);
    ASSERT_EQ(files->RecordCount(), 3000u);
    EXPECT_EQ(files->RecordAt(2999)->FindField("Size")->GetUInt(), 2999u);

    // The XML writer's output reads back the same.
    DMLDatabase xml("S");
    ASSERT_TRUE(LoadXml(xml, WriteXmlTableFile(source, true)));
    ASSERT_NE(xml.FindTable("Files"), nullptr);
    EXPECT_EQ(xml.FindTable("Files")->RecordCount(), 3000u);
    HY_OS::DeleteFile(path + ".bin");
}

TEST(FileBinaryTest, TruncatedFileFailsTheTableWithALogLine) {
    LogCapture capture;
    TestCodec codec;
    DMLDatabase source("S");
    DMLTable* table = source.MakeTable("A", false);
    table->AppendRecord().GetField("V").SetValue(uint32_t{1});
    std::string bytes;
    ASSERT_TRUE(WriteBinaryTableFile(source, bytes));
    DMLDatabase db("S");
    db.SetStorage(FileBinary::FromBytes("cut.bin", bytes.substr(0, bytes.size() - 2)));
    ASSERT_TRUE(db.Load());
    ASSERT_NE(db.FindTable("A"), nullptr);
    EXPECT_EQ(db.FindTable("A")->RecordCount(), 0u);
    EXPECT_TRUE(capture->Contains(
        "LoadMoreBuffer() Failed to load enough data for fromBinary (or buffer too small)."));
}

namespace {

// A file list of `count` records with a key, a long and a short text and a number.
std::string FileListBytes(int count) {
    DMLDatabase source("L");
    DMLTable* table = source.MakeTable("Files", false);
    for (int i = 0; i < count; ++i) {
        DMLRecord& r = table->AppendRecord();
        r.GetField("Name").SetValue("Data/GameData/Area" + std::to_string(i % 7) + "/File" + std::to_string(i) + ".wad");
        r.GetField("Short").SetValue(std::to_string(i));
        r.GetField("Size").SetValue(static_cast<uint32_t>(1000 + i));
    }
    std::string bytes;
    EXPECT_TRUE(WriteBinaryTableFile(source, bytes));
    return bytes;
}

std::unique_ptr<DMLDatabase> LoadFileList(const std::string& bytes) {
    auto db = std::make_unique<DMLDatabase>("L");
    db->SetStorage(FileBinary::FromBytes("list.bin", bytes));
    EXPECT_TRUE(db->Load());
    return db;
}

}  // namespace

// Loaded records share their table's memory: they must stay whole after the table is gone, copy
// into independent records, take new fields after the load, and a second load must not disturb
// the records of the first.
TEST(FileBinaryTest, LoadedRecordsOutliveTheirTableAndCopyFreely) {
    TestCodec codec;
    // Enough records that their storage spans several blocks, large-page ones included.
    const int count = 20000;
    std::string bytes = FileListBytes(count);
    auto db = LoadFileList(bytes);
    DMLTable* files = db->FindTable("Files");
    ASSERT_NE(files, nullptr);
    ASSERT_EQ(files->RecordCount(), static_cast<size_t>(count));
    DMLRecordRef kept(files->RecordAt(count - 1));
    DMLRecordRef first(files->RecordAt(0));
    DMLRecord copy(*files->RecordAt(5));

    // New fields after the load, and a removed field added back.
    first->GetField("Added").SetValue(std::string(100, 'a'));
    for (int i = 0; i < 20; ++i) first->GetField("Extra" + std::to_string(i)).SetValue(i);
    EXPECT_TRUE(first->RemoveField("Short"));
    first->GetField("Short").SetValue("again");
    // The other records of the table share their field names with the changed one.
    EXPECT_EQ(files->RecordAt(1)->FindField("Short")->ToStr(), "1");
    EXPECT_EQ(files->RecordAt(1)->EntryAt(1).Name(), "Short");

    auto reloaded = LoadFileList(bytes);
    db.reset();  // the table and its other records go

    EXPECT_EQ(kept->Table(), nullptr);
    EXPECT_EQ(kept->FindField("Name")->ToStr(), "Data/GameData/Area" + std::to_string((count - 1) % 7) + "/File" +
                                                    std::to_string(count - 1) + ".wad");
    EXPECT_EQ(kept->FindField("Size")->GetUInt(), static_cast<uint32_t>(1000 + count - 1));
    EXPECT_EQ(first->FindField("Added")->ToStr(), std::string(100, 'a'));
    EXPECT_EQ(first->FindField("Extra19")->GetInt(), 19);
    EXPECT_EQ(first->FindField("Short")->ToStr(), "again");
    EXPECT_EQ(first->FieldCount(), 24u);
    EXPECT_EQ(copy.FindField("Name")->ToStr(), "Data/GameData/Area5/File5.wad");
    EXPECT_EQ(copy.FindField("Short")->ToStr(), "5");

    // The second load is untouched by the first one's changes and teardown.
    DMLTable* again = reloaded->FindTable("Files");
    ASSERT_NE(again, nullptr);
    ASSERT_EQ(again->RecordCount(), static_cast<size_t>(count));
    EXPECT_EQ(again->RecordAt(0)->FieldCount(), 3u);
    EXPECT_EQ(again->RecordAt(0)->FindField("Short")->ToStr(), "0");
    EXPECT_EQ(again->RecordAt(count / 2)->FindField("Size")->GetUInt(), static_cast<uint32_t>(1000 + count / 2));

    // A copy assigned over a loaded record replaces its fields; the record stays usable.
    *again->RecordAt(1) = copy;
    EXPECT_EQ(again->RecordAt(1)->FindField("Short")->ToStr(), "5");
    kept = DMLRecordRef();
    first = DMLRecordRef();
    EXPECT_EQ(copy.FindField("Size")->GetUInt(), 1005u);
}

// A section whose record count is far beyond what the bytes hold fails on the missing records
// (the table is left empty), without reserving room for the count it claims.
TEST(FileBinaryTest, ImpossibleRecordCountReadsWhatIsThere) {
    LogCapture capture;
    TestCodec codec;
    std::string bytes = FileListBytes(3);
    // The "Files" section follows the table list's: its count, its dictionary and one record.
    auto messageLength = [&](size_t at) {
        return static_cast<size_t>(static_cast<uint8_t>(bytes[at + 2]) | (static_cast<uint8_t>(bytes[at + 3]) << 8));
    };
    size_t at = 4;
    at += messageLength(at);
    at += messageLength(at);
    ASSERT_EQ(bytes.substr(at, 4), std::string("\x03\x00\x00\x00", 4));
    bytes.replace(at, 4, std::string("\xFF\xFF\xFF\x7F", 4));
    DMLDatabase db("L");
    db.SetStorage(FileBinary::FromBytes("huge.bin", bytes));
    ASSERT_TRUE(db.Load());
    ASSERT_NE(db.FindTable("Files"), nullptr);
    EXPECT_EQ(db.FindTable("Files")->RecordCount(), 0u);
    EXPECT_TRUE(capture->Contains(
        "LoadMoreBuffer() Failed to load enough data for fromBinary (or buffer too small)."));
}
