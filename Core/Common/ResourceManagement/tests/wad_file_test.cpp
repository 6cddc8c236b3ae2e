#include "WadFile.h"

#include <gtest/gtest.h>

#include "Crc.h"
#include "OsFile.h"
#include "WadSource.h"
#include "WadWriter.h"
#include "datalayer_test_support.h"

namespace {

std::string U32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
    return s;
}

std::string Header(uint32_t version, uint32_t count) { return "HYWAD" + U32(version) + U32(count); }

std::string Entry(uint32_t position, uint32_t size, uint32_t packed, bool compressed, uint32_t crc,
                  const std::string& nameWithNul, uint32_t nameLength) {
    return U32(position) + U32(size) + U32(packed) + std::string(1, compressed ? 1 : 0) + U32(crc) +
           U32(nameLength) + nameWithNul;
}

bool Load(WadFile& wad, const std::string& bytes) {
    WadMemorySource source(bytes);
    return wad.LoadWadHeader(source, WadFile::RM_Always);
}

}  // namespace

TEST(WadFileTest, FixedHeaderChecks) {
    LogCapture capture;
    WadFile wad("mem.wad");
    EXPECT_FALSE(Load(wad, Header(0, 0)));
    EXPECT_TRUE(capture->Contains("Bad WadFile fixed header (mem.wad)"));
    EXPECT_FALSE(Load(wad, "HYWAX" + U32(1) + U32(0)));
    EXPECT_FALSE(Load(wad, Header(1, 0).substr(0, 12)));
    EXPECT_TRUE(capture->Contains("Failed loading WadFile fixed header (mem.wad)"));

    ASSERT_TRUE(Load(wad, Header(1, 0)));
    EXPECT_TRUE(wad.IsLoaded());
    EXPECT_EQ(wad.ElementCount(), 0u);
    EXPECT_EQ(wad.TableEnd(), 13);
    ASSERT_TRUE(Load(wad, Header(2, 0)));  // version 2 without its flags byte
    EXPECT_EQ(wad.Flags(), 0);
    ASSERT_TRUE(Load(wad, Header(2, 0) + "\x03"));
    EXPECT_EQ(wad.Flags(), 3);
    EXPECT_EQ(wad.TableEnd(), 14);
}

TEST(WadFileTest, EntryNameChecks) {
    LogCapture capture;
    WadFile wad("mem.wad");
    EXPECT_FALSE(Load(wad, Header(1, 1) + Entry(0, 0, 0, false, 0, std::string(257, 'a'), 257)));
    EXPECT_FALSE(Load(wad, Header(1, 1) + Entry(0, 0, 0, false, 0, "", 0)));
    EXPECT_EQ(capture->Count("Bad WadElement file name length"), 2u);
    EXPECT_FALSE(Load(wad, Header(1, 1) + Entry(0, 0, 0, false, 0, "abc", 3)));
    EXPECT_TRUE(capture->Contains("Bad WadElement file name"));
    EXPECT_FALSE(Load(wad, Header(1, 2) + Entry(0, 0, 0, false, 0, std::string("a\0", 2), 2)));
    EXPECT_TRUE(capture->Contains("Failed loading WadElement entry header from file"));
    EXPECT_FALSE(wad.IsLoaded());
    EXPECT_EQ(wad.ElementCount(), 0u);
}

TEST(WadFileTest, RawElementTakesItsSizeAsPackedSize) {
    std::string data = "hello";
    uint32_t crc = CrcUpdate(0, data.data(), data.size());
    std::string name("e\0", 2);
    std::string archive = Header(1, 1) + Entry(13 + 23, 5, 12345, false, crc, name, 2) + data;
    WadFile wad("mem.wad");
    ASSERT_TRUE(Load(wad, archive));
    const WadElement* e = wad.FindElement("e");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->PackedSize(), 5u);
    EXPECT_EQ(e->DataPosition(), 36u);
    WadMemorySource source(archive);
    std::string stored;
    ASSERT_TRUE(e->ReadPackedData(source, stored));
    EXPECT_EQ(stored, "hello");
}

TEST(WadFileTest, ReadPackedDataRefusesSizesBeyondTheFile) {
    LogCapture capture;
    std::string archive = Header(1, 1) + Entry(37, 0, 0x7FFFFFF0, true, 0, std::string("e\0", 2), 2);
    WadFile wad("mem.wad");
    ASSERT_TRUE(Load(wad, archive));
    WadMemorySource source(archive);
    std::string stored;
    EXPECT_FALSE(wad.FindElement("e")->ReadPackedData(source, stored));
    std::string negative = Header(1, 1) + Entry(0x80000000u, 0, 0, false, 0, std::string("e\0", 2), 2);
    ASSERT_TRUE(Load(wad, negative));
    WadMemorySource second(negative);
    EXPECT_FALSE(wad.FindElement("e")->ReadPackedData(second, stored));
    EXPECT_TRUE(capture->Contains(
        "Failed reading raw element data. Bad position (-2147483648), size (0), or packed size (0)"));
    WadElement unloaded;
    EXPECT_FALSE(unloaded.ReadPackedData(second, stored));
    EXPECT_TRUE(capture->Contains("Failed reading raw element data. Bad state (0)."));
}

TEST(WadFileTest, WriterFollowsTheLayoutRule) {
    WadWriter writer;
    ASSERT_TRUE(writer.Add("b", "BBBB", false));
    ASSERT_TRUE(writer.Add("ab", std::string(1000, 'x'), true));
    ASSERT_TRUE(writer.Add("a", "A", false));
    EXPECT_FALSE(writer.Add("a", "again", false));
    EXPECT_FALSE(writer.Add("", "x", false));
    std::string archive;
    ASSERT_TRUE(writer.Build(archive));
    ASSERT_EQ(archive.substr(0, 13), Header(1, 3));
    // Entries in name order: a (23 bytes), ab (24), b (23); data from 13 + 70 = 83.
    EXPECT_EQ(archive.substr(13, 23), Entry(83, 1, 0xFFFFFFFF, false, CrcUpdate(0, "A", 1),
                                            std::string("a\0", 2), 2));
    WadFile wad("mem.wad");
    ASSERT_TRUE(Load(wad, archive));
    const WadElement* a = wad.FindElement("a");
    const WadElement* ab = wad.FindElement("ab");
    const WadElement* b = wad.FindElement("b");
    ASSERT_TRUE(a && ab && b);
    EXPECT_EQ(wad.TableEnd(), 83);
    EXPECT_EQ(a->DataPosition(), 83u);
    EXPECT_EQ(ab->DataPosition(), 84u);
    EXPECT_TRUE(ab->IsCompressed());
    EXPECT_EQ(ab->Size(), 1000u);
    EXPECT_LT(ab->PackedSize(), 100u);
    EXPECT_EQ(b->DataPosition(), 84u + ab->PackedSize());
    EXPECT_EQ(archive.size(), b->DataPosition() + 4u);
    WadMemorySource source(archive);
    std::string stored;
    ASSERT_TRUE(ab->ReadPackedData(source, stored));
    EXPECT_EQ(CrcUpdate(0, stored.data(), stored.size()), ab->Crc());
    std::vector<std::string> names;
    for (const auto& [name, element] : wad.Elements()) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "ab", "b"}));
}

TEST(WadFileTest, UtdFileMarksUnlistedElementsStale) {
    std::string dir = testing::TempDir() + "/wad_utd_test";
    HY_OS::CreateDirectories(dir);
    std::string path = dir + "/Dyn.wad";
    WadWriter writer;
    writer.Add("a", "AAAA", false);
    writer.Add("b", "BBBB", false);
    writer.Add("c", "CCCC", false);
    ASSERT_TRUE(writer.WriteFile(path));
    HY_OS::DeleteFile(path + ".utd");
    WadFile wad(path);
    ASSERT_TRUE(wad.Open());
    EXPECT_FALSE(wad.UtdRead());
    for (const auto& [name, element] : wad.Elements()) EXPECT_FALSE(element.IsStale()) << name;

    const WadElement* a = wad.FindElement("a");
    const WadElement* b = wad.FindElement("b");
    std::string utd = U32(0) + U32(a->DataPosition()) + U32(a->PackedSize()) + U32(a->Crc()) +
                      U32(0) + U32(b->DataPosition()) + U32(b->PackedSize()) + U32(b->Crc() ^ 1) +
                      "short";
    ASSERT_TRUE(HY_OS::WriteFileAtomic(path + ".utd", utd));
    WadFile dynamic(path);
    ASSERT_TRUE(dynamic.Open());
    EXPECT_TRUE(dynamic.UtdRead());
    EXPECT_FALSE(dynamic.FindElement("a")->IsStale());
    EXPECT_TRUE(dynamic.FindElement("b")->IsStale());  // listed with another CRC
    EXPECT_TRUE(dynamic.FindElement("c")->IsStale());  // not listed
    HY_OS::DeleteFile(path + ".utd");
    HY_OS::DeleteFile(path);
}

TEST(WadFileTest, OpenLogsAMissingFile) {
    LogCapture capture;
    WadFile wad("/nonexistent/None.wad");
    EXPECT_FALSE(wad.Open());
    EXPECT_TRUE(capture->Contains("WadFile not opened (/nonexistent/None.wad)"));
}
