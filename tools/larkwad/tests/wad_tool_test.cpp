#include "WadTool.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "Crc.h"
#include "WadFile.h"
#include "WadWriter.h"

namespace {

namespace fs = std::filesystem;

class WadToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/hy_larkwad_XXXXXX";
        root = ::mkdtemp(pattern);
    }
    void TearDown() override { fs::remove_all(root); }
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
    std::string root;
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
