// The CRC cache file: its name, its format, what a damaged file costs, how entries are found and
// confirmed, and that a save never leaves a damaged file behind.
#include "CrcCache.h"

#include <gtest/gtest.h>

#include "LatestFileList.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "http_test_support.h"

namespace {

using hytest::ScopedLogCapture;

TEST(CrcCache, FileNameReplacesSeparatorsAndEntriesRoundTripInTheirWireForm) {
    EXPECT_EQ(CrcCache::CacheFilePath("Data/Extra", "/cache"), "/cache/CRC_Data-Extra.dat");
    EXPECT_EQ(CrcCache::CacheFilePath("A\\B", "/cache/"), "/cache/CRC_A-B.dat");

    TempDir dir;
    CrcCache cache;
    cache.AddEntry(0x11223344, 5, 0xAABBCCDD, 0x0000018C12345678ull);
    cache.AddEntry(2, 6, 7, 8);
    ASSERT_TRUE(cache.SaveCacheFile("Base", dir.Path()));
    std::string bytes = ReadFile(dir / "CRC_Base.dat");
    ASSERT_EQ(bytes.size(), 48u);
    const std::string first("\x44\x33\x22\x11\x05\0\0\0\xDD\xCC\xBB\xAA\0\0\0\0\x78\x56\x34\x12\x8C\x01\0\0", 24);
    EXPECT_EQ(bytes.substr(0, 24), first);

    CrcCache loaded;
    loaded.LoadCacheFile("Base", dir.Path());
    EXPECT_EQ(loaded.Used(), 0u);
    ASSERT_EQ(loaded.Remaining(), 2u);
    EXPECT_EQ(loaded.At(0).lastWriteMs, 0x0000018C12345678ull);
    EXPECT_EQ(loaded.FindEntry(2, 6, 7), 1);
    EXPECT_EQ(loaded.FindEntry(2, 6, 8), -1) << "a different CRC is another file";
}

TEST(CrcCache, FileOfAWrongLengthOrMissingIsIgnored) {
    TempDir dir;
    ScopedLogCapture log;
    CrcCache cache;
    cache.LoadCacheFile("Base", dir.Path());
    EXPECT_EQ(cache.Remaining(), 0u);
    EXPECT_EQ(log->CountPrefix("Unable to load CRC Cache file '" + dir.Path("CRC_Base.dat") + "'. Error: "), 1);

    WriteFile(dir / "CRC_Base.dat", std::string(25, '\x01'));
    cache.LoadCacheFile("Base", dir.Path());
    EXPECT_EQ(cache.Remaining(), 0u);
    WriteFile(dir / "CRC_Base.dat", std::string(24, '\x01'));
    cache.LoadCacheFile("Base", dir.Path());
    EXPECT_EQ(cache.Remaining(), 1u) << "the same file at a multiple of 24 bytes is read";
}

TEST(CrcCache, ConfirmedEntriesMoveToTheFrontAndOnlyTheyAreSaved) {
    TempDir dir;
    CrcCache cache;
    for (uint32_t i = 1; i <= 4; ++i) cache.AddEntry(i, i, i, 1000 + i);
    ASSERT_TRUE(cache.SaveCacheFile("P", dir.Path()));
    cache.LoadCacheFile("P", dir.Path());
    long third = cache.FindEntry(3, 3, 3);
    ASSERT_EQ(third, 2);
    cache.ConfirmEntry(third);
    EXPECT_EQ(cache.Used(), 1u);
    EXPECT_EQ(cache.Remaining(), 3u);
    EXPECT_EQ(cache.At(0).nameHash, 3u);
    EXPECT_EQ(cache.FindEntry(3, 3, 3), -1) << "a confirmed entry is not found again";
    // A written entry takes position `used`; the unconfirmed entry there moves behind the rest.
    cache.AddEntry(9, 9, 9, 9);
    EXPECT_EQ(cache.At(1).nameHash, 9u);
    EXPECT_GE(cache.FindEntry(2, 2, 2), 0);
    EXPECT_GE(cache.FindEntry(1, 1, 1), 0);
    EXPECT_GE(cache.FindEntry(4, 4, 4), 0);
    cache.DropUnconfirmed();
    ASSERT_TRUE(cache.SaveCacheFile("P", dir.Path()));
    EXPECT_EQ(ReadFile(dir / "CRC_P.dat").size(), 48u);
}

TEST(CrcCache, FailedSaveKeepsThePreviousFileWhole) {
    TempDir dir;
    ScopedLogCapture log;
    CrcCache cache;
    cache.AddEntry(1, 2, 3, 4);
    ASSERT_TRUE(cache.SaveCacheFile("Base", dir.Path()));
    std::string before = ReadFile(dir / "CRC_Base.dat");
    // The temporary file cannot be made: a directory holds its name.
    WriteFile(dir / "CRC_Base.dat.tmp/block", "x");
    cache.AddEntry(5, 6, 7, 8);
    EXPECT_FALSE(cache.SaveCacheFile("Base", dir.Path()));
    EXPECT_EQ(ReadFile(dir / "CRC_Base.dat"), before);
    EXPECT_EQ(log->CountPrefix("Unable to save CRC Cache file '" + dir.Path("CRC_Base.dat") + "'. Error: "), 1);
}

TEST(LatestFileList, LocalCopyIsCurrentOnlyWhenEveryPropertyMatches) {
    TempDir dir;
    ScopedLogCapture log;
    std::string xml =
        "<?xml version=\"1.0\" ?>\n<LatestFileList>\n<About><RECORD><Version TYPE=\"UINT\">5</Version></RECORD>"
        "</About>\n<Base></Base>\n</LatestFileList>\n";
    WriteFile(dir / "List.xml", xml);
    uint32_t crc = Crc(xml);
    uint32_t size = static_cast<uint32_t>(xml.size());
    LatestFileList list;
    EXPECT_TRUE(list.IsListCurrent(dir.Path(), 1, "List.xml", size, crc, 5));
    EXPECT_EQ(list.Version(), 5u);
    EXPECT_NE(list.FindPackage("Base"), nullptr);
    EXPECT_EQ(list.FindPackage("About"), nullptr);
    EXPECT_FALSE(list.IsListCurrent(dir.Path(), 1, "List.xml", size, crc, 6)) << "another version";
    EXPECT_FALSE(list.IsLoaded());
    EXPECT_TRUE(list.IsListCurrent(dir.Path(), 1, "List.xml", size, crc, 5)) << "loaded again from disk";
    EXPECT_FALSE(list.IsListCurrent(dir.Path(), 1, "List.xml", size, crc ^ 1, 5));
    // The binary type names a ".bin" file: the ".xml" file is not read as one.
    WriteFile(dir / "Other.xml", xml);
    EXPECT_FALSE(list.IsListCurrent(dir.Path(), 2, "Other.xml", size, crc, 5));
    EXPECT_EQ(log->Count("List file 'Other.xml' does not match list type 2"), 1);

    EXPECT_TRUE(LatestFileList::IsPlainFileName("LatestFileList.bin"));
    EXPECT_FALSE(LatestFileList::IsPlainFileName(".."));
    EXPECT_FALSE(LatestFileList::IsPlainFileName("a/b.xml"));
    EXPECT_FALSE(LatestFileList::IsPlainFileName("a\\b.xml"));
    EXPECT_FALSE(LatestFileList::IsPlainFileName(std::string("a\0b", 3)));
}

}  // namespace
