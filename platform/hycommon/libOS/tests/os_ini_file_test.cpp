#include "OsIniFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "OsFile.h"

namespace {

const std::string kText =
    "; patch information\r\n"
    "[Other]\n"
    "CRC32=7\n"
    "  [ patchinfo ]  \r\n"
    "  crc32 = 4294967295 \r\n"
    "DownloadURL = \"http://host/Fail Safe.exe\" \r\n"
    "Empty=\n"
    "Hex=0x1F\n"
    "Negative=-1\n"
    "Words=abc\n"
    "[PatchInfo]\n"
    "Later=ignored\n";

TEST(OsIniFile, FindsKeysOfTheSectionWhateverTheirCase) {
    EXPECT_EQ(HY_OS::IniUIntFromText(kText, "PatchInfo", "CRC32", 0), 4294967295u);
    EXPECT_EQ(HY_OS::IniUIntFromText(kText, "Other", "CRC32", 0), 7u);
    EXPECT_EQ(HY_OS::IniStringFromText(kText, "PatchInfo", "DownloadURL", "", 1023),
              "http://host/Fail Safe.exe");
    EXPECT_EQ(HY_OS::IniStringFromText(kText, "PatchInfo", "Empty", "x", 1023), "");
    EXPECT_EQ(HY_OS::IniStringFromText(kText, "PatchInfo", "Later", "dflt", 1023), "dflt");
    EXPECT_EQ(HY_OS::IniStringFromText(kText, "Missing", "CRC32", "dflt", 1023), "dflt");
}

TEST(OsIniFile, NumbersAndLimits) {
    EXPECT_EQ(HY_OS::IniUIntFromText(kText, "PatchInfo", "Hex", 0), 31u);
    EXPECT_EQ(HY_OS::IniUIntFromText(kText, "PatchInfo", "Negative", 0), 0xFFFFFFFFu);
    EXPECT_EQ(HY_OS::IniUIntFromText(kText, "PatchInfo", "Words", 9), 9u);
    EXPECT_EQ(HY_OS::IniUIntFromText("[a]\nn=99999999999\n", "a", "n", 0),
              static_cast<uint32_t>(99999999999ull));
    EXPECT_EQ(HY_OS::IniStringFromText(kText, "PatchInfo", "DownloadURL", "", 4), "http");
    std::string withZero("[a]\nk=ab\0cd\n", 12);
    EXPECT_EQ(HY_OS::IniStringFromText(withZero, "a", "k", "", 100), "ab");
}

TEST(OsIniFile, ReadsFilesAndSurvivesGarbage) {
    std::string path = "/tmp/hy_os_ini_" + std::to_string(::getpid()) + ".ini";
    ASSERT_TRUE(HY_OS::WriteFileAtomic(path, kText));
    EXPECT_EQ(HY_OS::GetIniUInt(path, "PatchInfo", "CRC32", 0), 4294967295u);
    EXPECT_EQ(HY_OS::GetIniString(path, "PatchInfo", "DownloadURL", "", 1023),
              "http://host/Fail Safe.exe");

    std::string garbage;
    for (int i = 0; i < 70000; ++i) garbage.push_back(static_cast<char>((i * 131) & 0xFF));
    garbage += "[PatchInfo";  // a header that never closes, at the very end
    ASSERT_TRUE(HY_OS::WriteFileAtomic(path, garbage));
    EXPECT_EQ(HY_OS::GetIniUInt(path, "PatchInfo", "CRC32", 5), 5u);
    EXPECT_EQ(HY_OS::GetIniString(path, "PatchInfo", "DownloadURL", "", 1023), "");
    HY_OS::DeleteFile(path);

    EXPECT_EQ(HY_OS::GetIniUInt(path, "PatchInfo", "CRC32", 3), 3u);
    EXPECT_EQ(HY_OS::GetIniString("/tmp", "PatchInfo", "DownloadURL", "d", 1023), "d");
}

}  // namespace
