#include "WadTool.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "Crc.h"
#include "TempDir.h"
#include "allocation_probe.h"
#include "WadFile.h"
#include "WadWriter.h"

namespace {

namespace fs = std::filesystem;

class WadToolTest : public ::testing::Test {
protected:
    hytest::TempDir dir;
    void Write(const std::string& relative, const std::string& content) {
        fs::path path = fs::path(root) / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }
    std::string Read(const std::string& relative) {
        std::ifstream in(fs::path(root) / relative, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string root = dir.Path();
};

TEST_F(WadToolTest, PackedDirectoryFollowsTheLayoutRuleAndExtractsToTheSameFiles) {
    Write("src/b.txt", std::string(4000, 'b'));
    Write("src/a/deep.bin", "\x01\x02\x03");
    Write("src/A.txt", "upper case sorts first");
    std::string error;
    ASSERT_TRUE(larkwad::PackDirectory(root + "/src", root + "/x.wad", larkwad::CM_WhenSmaller, error)) << error;
    std::vector<larkwad::ListedElement> listed;
    ASSERT_TRUE(larkwad::ListArchive(root + "/x.wad", listed, error));
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].name, "A.txt");
    EXPECT_EQ(listed[1].name, "a/deep.bin");
    EXPECT_EQ(listed[2].name, "b.txt");
    EXPECT_TRUE(listed[2].compressed);
    EXPECT_FALSE(listed[1].compressed);
    WadFile wad(root + "/x.wad");
    ASSERT_TRUE(wad.Open());
    uint32_t position = static_cast<uint32_t>(wad.TableEnd());
    for (const auto& element : listed) {
        EXPECT_EQ(element.dataPosition, position) << element.name;
        position += element.packedSize;
    }
    EXPECT_EQ(position, fs::file_size(root + "/x.wad"));

    ASSERT_TRUE(larkwad::ExtractArchive(root + "/x.wad", root + "/out", error)) << error;
    EXPECT_EQ(Read("out/b.txt"), std::string(4000, 'b'));
    EXPECT_EQ(Read("out/a/deep.bin"), "\x01\x02\x03");
    std::vector<std::string> bad;
    ASSERT_TRUE(larkwad::CheckArchive(root + "/x.wad", bad, error));
    EXPECT_TRUE(bad.empty());
}

TEST_F(WadToolTest, CheckNamesTheDamagedElement) {
    WadWriter writer;
    writer.Add("one", std::string(100, '1'), false);
    writer.Add("two", std::string(100, '2'), false);
    std::string archive;
    ASSERT_TRUE(writer.Build(archive));
    archive[archive.size() - 1] ^= 0x40;  // last byte of "two"
    Write("d.wad", archive);
    std::vector<std::string> bad;
    std::string error;
    ASSERT_TRUE(larkwad::CheckArchive(root + "/d.wad", bad, error));
    ASSERT_EQ(bad.size(), 1u);
    EXPECT_EQ(bad[0], "two");
}

TEST_F(WadToolTest, ExtractRefusesNamesThatLeaveTheDirectory) {
    for (std::string name : {"../escape.txt", "/etc/abs.txt", "a/../../b.txt"}) {
        WadWriter writer;
        ASSERT_TRUE(writer.Add(name, "x", false));
        ASSERT_TRUE(writer.WriteFile(root + "/evil.wad"));
        std::string error;
        EXPECT_FALSE(larkwad::ExtractArchive(root + "/evil.wad", root + "/out/inner", error)) << name;
    }
    EXPECT_FALSE(fs::exists(root + "/out/escape.txt"));
    EXPECT_FALSE(fs::exists(root + "/escape.txt"));
}

// A tiny archive whose compressed element claims two gigabytes: refused by its claimed size, before
// any buffer of that size exists, and nothing is written.
TEST_F(WadToolTest, ExtractRefusesAnElementClaimingAHugeSizeBeforeAllocating) {
    WadWriter writer;
    ASSERT_TRUE(writer.AddStored("huge.bin", std::string(40, '\0'), 2147483632u, true));
    std::string archive;
    ASSERT_TRUE(writer.Build(archive));
    ASSERT_LT(archive.size(), 120u);
    Write("huge.wad", archive);

    allocation_probe::Reset();
    std::string error;
    EXPECT_FALSE(larkwad::ExtractArchive(root + "/huge.wad", root + "/out", error, true));
    EXPECT_LT(allocation_probe::Largest(), size_t{1} << 20);
    EXPECT_NE(error.find("huge.bin"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(root + "/out"));
    std::vector<std::string> bad;
    ASSERT_TRUE(larkwad::CheckArchive(root + "/huge.wad", bad, error));
    EXPECT_EQ(bad, std::vector<std::string>{"huge.bin"});
    EXPECT_LT(allocation_probe::Largest(), size_t{1} << 20);

    // The same path does make the buffer an honest element asks for.
    std::string big(4u << 20, 'z');
    WadWriter honest;
    ASSERT_TRUE(honest.Add("big.bin", big, true));
    ASSERT_TRUE(honest.WriteFile(root + "/big.wad"));
    allocation_probe::Reset();
    ASSERT_TRUE(larkwad::ExtractArchive(root + "/big.wad", root + "/out", error)) << error;
    EXPECT_GE(allocation_probe::Largest(), big.size());
    EXPECT_EQ(Read("out/big.bin"), big);
}

// An element whose stored bytes fail their CRC is refused by name and the target directory is left
// as it was, even for the elements before it; --force writes it and says which.
TEST_F(WadToolTest, ExtractRefusesACorruptElementUnlessForced) {
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "compressed" : "raw");
        fs::remove_all(root + "/out");
        WadWriter writer;
        ASSERT_TRUE(writer.Add("a-first.txt", "good", false));
        ASSERT_TRUE(writer.AddStored("b-bad.txt", "stored", 6, false));
        std::string archive;
        ASSERT_TRUE(writer.Build(archive));
        // Flip one stored byte of "b-bad.txt" (the last element's last byte). A compressed
        // element is made by flipping its CRC instead, so the bytes still inflate.
        if (compressed) {
            WadWriter packed;
            ASSERT_TRUE(packed.Add("a-first.txt", "good", false));
            ASSERT_TRUE(packed.Add("b-bad.txt", std::string(300, 's'), true));
            ASSERT_TRUE(packed.Build(archive));
            WadFile wad(root + "/probe.wad");
            Write("probe.wad", archive);
            ASSERT_TRUE(wad.Open());
            uint32_t crc = wad.FindElement("b-bad.txt")->Crc();
            size_t at = archive.find(std::string(reinterpret_cast<const char*>(&crc), 4));
            ASSERT_NE(at, std::string::npos);
            archive[at] ^= 0x01;
        } else {
            archive[archive.size() - 1] ^= 0x20;
        }
        Write("bad.wad", archive);

        std::string error;
        std::vector<std::string> forced;
        EXPECT_FALSE(larkwad::ExtractArchive(root + "/bad.wad", root + "/out", error, false, &forced));
        EXPECT_NE(error.find("b-bad.txt"), std::string::npos) << error;
        EXPECT_EQ(error.find("a-first.txt"), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(root + "/out"));

        ASSERT_TRUE(larkwad::ExtractArchive(root + "/bad.wad", root + "/out", error, true, &forced)) << error;
        EXPECT_EQ(forced, std::vector<std::string>{"b-bad.txt"});
        EXPECT_EQ(Read("out/a-first.txt"), "good");
        EXPECT_TRUE(fs::exists(root + "/out/b-bad.txt"));
        forced.clear();
    }
}

// A name that leaves the directory anywhere in the archive stops the whole extraction, also the
// well-named elements sorted before it.
TEST_F(WadToolTest, ExtractChecksEveryNameBeforeWriting) {
    WadWriter writer;
    ASSERT_TRUE(writer.Add("a/fine.txt", "fine", false));
    ASSERT_TRUE(writer.Add("z/../../escape.txt", "x", false));
    ASSERT_TRUE(writer.WriteFile(root + "/mixed.wad"));
    std::string error;
    EXPECT_FALSE(larkwad::ExtractArchive(root + "/mixed.wad", root + "/out", error, true));
    EXPECT_NE(error.find("z/../../escape.txt"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(root + "/out"));
}

TEST_F(WadToolTest, HeaderFileHoldsTheHeaderAndEntryTableGzipped) {
    Write("src/e1", std::string(5000, 'e'));
    Write("src/e2", "second");
    std::string error;
    ASSERT_TRUE(larkwad::PackDirectory(root + "/src", root + "/h.wad", larkwad::CM_Raw, error));
    larkwad::HeaderInfo info;
    ASSERT_TRUE(larkwad::WriteHeaderFile(root + "/h.wad", "", info, error)) << error;
    std::string archive = Read("h.wad");
    EXPECT_EQ(info.archiveSize, archive.size());
    EXPECT_EQ(info.archiveCrc, CrcUpdate(0, archive.data(), archive.size()));
    gzFile gz = gzopen((root + "/h.wad.hdr.gz").c_str(), "rb");
    ASSERT_NE(gz, nullptr);
    std::string header(100000, '\0');
    int n = gzread(gz, header.data(), static_cast<unsigned>(header.size()));
    gzclose(gz);
    ASSERT_GT(n, 0);
    header.resize(static_cast<size_t>(n));
    EXPECT_EQ(header, archive.substr(0, info.headerSize));
    EXPECT_EQ(info.headerCrc, CrcUpdate(0, header.data(), header.size()));
    EXPECT_EQ(info.compressedHeaderSize, fs::file_size(root + "/h.wad.hdr.gz"));
}

}  // namespace
