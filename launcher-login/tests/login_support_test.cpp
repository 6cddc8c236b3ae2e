// Account names, ban texts, the user registry store and the patch client id.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "AccountName.h"
#include "BanText.h"
#include "OsFile.h"
#include "PatchClientId.h"
#include "UserRegistryStore.h"

namespace {

std::string TempDirectory(const std::string& name) {
    std::string path = (std::filesystem::temp_directory_path() /
                        ("login_" + name + "_" + std::to_string(::getpid())))
                           .string();
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

TEST(AccountName, CountsCodePointsAndRefusesInvalidUtf8) {
    size_t count = 0;
    EXPECT_TRUE(CountUtf8CodePoints("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", count));
    EXPECT_EQ(count, 4u);
    for (const char* bad : {"\x80", "a\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                            "\xE2\x82", "\xFF"}) {
        EXPECT_FALSE(CountUtf8CodePoints(bad, count)) << bad;
    }
}

TEST(AccountName, TruncatesOnCodePointBoundaries) {
    std::string name;
    for (int i = 0; i < 321; ++i) name += "\xC3\xA9";
    std::string cut = TruncateUtf8(name, kMaxAccountNameCodePoints);
    size_t count = 0;
    ASSERT_TRUE(CountUtf8CodePoints(cut, count));
    EXPECT_EQ(count, 320u);
    EXPECT_EQ(cut.size(), 640u);
    EXPECT_EQ(TruncateUtf8("abc", 320), "abc");
}

class BanTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        m_hadTz = tz != nullptr;
        if (tz) m_tz = tz;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        if (m_hadTz) setenv("TZ", m_tz.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    bool m_hadTz = false;
    std::string m_tz;
};

TEST_F(BanTextTest, ReadsForeverAndUnitSums) {
    EXPECT_EQ(BanSecondsFromTimeStamp("forever"), 630720000u);
    EXPECT_EQ(BanSecondsFromTimeStamp("1d2h3m4"), 86400u + 7200u + 180u + 4u);
    EXPECT_EQ(BanSecondsFromTimeStamp("1700000000"), 1700000000u);
    EXPECT_EQ(BanSecondsFromTimeStamp(""), 0u);
    EXPECT_EQ(BanSecondsFromTimeStamp("99999999999999999999999d"), UINT64_MAX)
        << "an absurd value saturates instead of wrapping";
}

TEST_F(BanTextTest, ShowsLocalTimeOnlyBeforeTheWindowEnd) {
    EXPECT_EQ(BanEndText("forever", 1700000000), "December 27, 1989 12:00 AM");
    EXPECT_EQ(BanEndText("1d2h3m", 0), "January 02, 1970 02:03 AM");
    EXPECT_EQ(BanEndText("315359", 0), "January 04, 1970 03:35 PM");
    EXPECT_EQ(BanEndText("315360", 0), "") << "at the window end the text is empty";
    EXPECT_EQ(BanEndText("", 1700000000), "") << "no time stamp, no end";
    EXPECT_EQ(BanEndText("99999999999999999999", 1700000000), "");
}

TEST(UserRegistryStore, KeepsValuesWithAnyCharactersAcrossInstances) {
    std::string dir = TempDirectory("store");
    std::string path = HY_OS::JoinPath(HY_OS::JoinPath(dir, "sub"), "UserRegistry.txt");
    UserRegistryStore store(path);
    std::string value;
    EXPECT_FALSE(store.ReadString("Software\\Halcyra", "Id", value));
    ASSERT_TRUE(store.WriteString("Software\\Halcyra", "Id", "a\tb\nc\\d"));
    ASSERT_TRUE(store.WriteString("Software\\Halcyra", "Other", "x"));
    ASSERT_TRUE(store.WriteString("Software\\Halcyra", "Id", "second\r"));
    UserRegistryStore again(path);
    ASSERT_TRUE(again.ReadString("Software\\Halcyra", "Id", value));
    EXPECT_EQ(value, "second\r");
    ASSERT_TRUE(again.ReadString("Software\\Halcyra", "Other", value));
    EXPECT_EQ(value, "x");
    EXPECT_FALSE(again.ReadString("Software\\Other", "Id", value));
    std::filesystem::remove_all(dir);
}

TEST(UserRegistryStore, AMalformedStoreIsNeitherReadNorOverwritten) {
    std::string dir = TempDirectory("malformed");
    std::string path = HY_OS::JoinPath(dir, "UserRegistry.txt");
    ASSERT_TRUE(HY_OS::WriteFileAtomic(path, "key\tname\tvalue\nbroken line\n"));
    UserRegistryStore store(path);
    std::string value;
    EXPECT_FALSE(store.ReadString("key", "name", value));
    EXPECT_FALSE(store.WriteString("key", "other", "v"));
    std::string content;
    ASSERT_TRUE(HY_OS::ReadWholeFile(path, content));
    EXPECT_EQ(content, "key\tname\tvalue\nbroken line\n");
    std::filesystem::remove_all(dir);
}

TEST(UserRegistryStore, DefaultPathFollowsTheConfigurationDirectory) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(UserRegistryStore::DefaultPath(), "/tmp/cfg/Larkspur/UserRegistry.txt");
    if (old) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
}

TEST(PatchClientId, IsMadeOnceInRegistryFormAndReusedAfterwards) {
    std::string dir = TempDirectory("id");
    UserRegistryStore store(HY_OS::JoinPath(dir, "UserRegistry.txt"));
    std::string id = PatchClientIdFromRegistry(store, "Software\\Halcyra\\Larkspur", "PatchClientID");
    ASSERT_EQ(id.size(), 38u);
    EXPECT_EQ(id.front(), '{');
    EXPECT_EQ(id.back(), '}');
    for (size_t i : {9u, 14u, 19u, 24u}) EXPECT_EQ(id[i], '-');
    EXPECT_EQ(id.find_first_not_of("{}-0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(PatchClientIdFromRegistry(store, "Software\\Halcyra\\Larkspur", "PatchClientID"), id);
    EXPECT_NE(NewGuidText(), NewGuidText());

    // A stored text too long for the value (40 bytes with its terminator) is replaced.
    ASSERT_TRUE(store.WriteString("K", "N", std::string(40, 'x')));
    std::string replaced = PatchClientIdFromRegistry(store, "K", "N");
    EXPECT_EQ(replaced.size(), 38u);

    EXPECT_EQ(PatchClientIdFromRegistry(store, "", "PatchClientID"), "");
    EXPECT_EQ(PatchClientIdFromRegistry(store, "K", ""), "");
    std::filesystem::remove_all(dir);
}

TEST(PatchClientId, IsEmptyWhenTheNewIdCannotBeStored) {
    std::string dir = TempDirectory("unwritable");
    std::string blocker = HY_OS::JoinPath(dir, "file");
    ASSERT_TRUE(HY_OS::WriteFileAtomic(blocker, "x"));
    UserRegistryStore store(HY_OS::JoinPath(blocker, "UserRegistry.txt"));  // below a file
    EXPECT_EQ(PatchClientIdFromRegistry(store, "K", "N"), "");
    std::filesystem::remove_all(dir);
}

}  // namespace
