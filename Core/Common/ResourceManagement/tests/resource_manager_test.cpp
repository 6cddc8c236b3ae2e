#include "ResourceManager.h"

#include <gtest/gtest.h>

#include "DMLDatabase.h"
#include "OsFile.h"
#include "WadWriter.h"
#include "datalayer_test_support.h"

namespace {

const std::string kTable =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<M><T><RECORD><V TYPE=\"INT\">%</V></RECORD></T></M>";

std::string TableWith(const std::string& value) {
    std::string text = kTable;
    text.replace(text.find('%'), 1, value);
    return text;
}

class ResourceManagerTest : public testing::Test {
protected:
    void SetUp() override {
        m_dir = testing::TempDir() + "/resource_manager_" +
                testing::UnitTest::GetInstance()->current_test_info()->name();
        HY_OS::CreateDirectories(m_dir);
        HY_OS::DeleteFile(m_dir + "/Root.wad");
    }
    void TearDown() override {
        HY_OS::DeleteFile(m_dir + "/Root.wad");
        HY_OS::DeleteFile(m_dir + "/Loose.xml");
        HY_OS::DeleteFile(m_dir + "/Both.xml");
    }
    int LoadValue(ResourceManager& manager, const std::string& name) {
        DMLDatabase db("");
        if (manager.RequestAsset(name, db) != AR_Loaded) return -1;
        DMLTable* t = db.FindTable("T");
        return t && t->RecordAt(0) ? t->RecordAt(0)->GetField("V").GetInt() : -2;
    }
    std::string m_dir;
};

}  // namespace

TEST_F(ResourceManagerTest, ArchiveElementComesBeforeALooseFile) {
    WadWriter writer;
    ASSERT_TRUE(writer.Add("Both.xml", TableWith("1"), true));
    ASSERT_TRUE(writer.Add("Raw.xml", TableWith("3"), false));
    ASSERT_TRUE(writer.WriteFile(m_dir + "/Root.wad"));
    ASSERT_TRUE(HY_OS::WriteFileAtomic(m_dir + "/Both.xml", TableWith("2")));
    ASSERT_TRUE(HY_OS::WriteFileAtomic(m_dir + "/Loose.xml", TableWith("4")));
    ResourceManager manager(m_dir);
    EXPECT_EQ(LoadValue(manager, "Both.xml"), 1);
    EXPECT_EQ(LoadValue(manager, "Raw.xml"), 3);
    EXPECT_EQ(LoadValue(manager, "Loose.xml"), 4);
    DMLDatabase missing("");
    EXPECT_EQ(manager.RequestAsset("Missing.xml", missing), AR_NotFound);
}

TEST_F(ResourceManagerTest, NamesOutsideTheDataDirectoryAreRefused) {
    LogCapture capture;
    ResourceManager manager(m_dir + "/sub");
    HY_OS::CreateDirectories(m_dir + "/sub");
    ASSERT_TRUE(HY_OS::WriteFileAtomic(m_dir + "/Loose.xml", TableWith("4")));
    DMLDatabase db("");
    EXPECT_EQ(manager.RequestAsset("../Loose.xml", db), AR_NotFound);
    EXPECT_TRUE(capture->Contains("Refusing asset name ../Loose.xml outside the data directory."));
    EXPECT_FALSE(IsSafeRelativeName("/etc/passwd"));
    EXPECT_FALSE(IsSafeRelativeName("a//b"));
    EXPECT_TRUE(IsSafeRelativeName("Sub/File.xml"));
}

TEST_F(ResourceManagerTest, DamagedElementIsReportedNotLoaded) {
    LogCapture capture;
    WadWriter writer;
    ASSERT_TRUE(writer.Add("Bad.xml", TableWith("1"), true));
    std::string archive;
    ASSERT_TRUE(writer.Build(archive));
    archive[archive.size() - 3] ^= 0x55;
    ASSERT_TRUE(HY_OS::WriteFileAtomic(m_dir + "/Root.wad", archive));
    ResourceManager manager(m_dir);
    DMLDatabase db("");
    EXPECT_EQ(manager.RequestAsset("Bad.xml", db), AR_Unreadable);
    EXPECT_TRUE(capture->Contains("Element Bad.xml of " + m_dir + "/Root.wad fails its CRC check."));

    std::string inflated;
    EXPECT_FALSE(InflateElement("not zlib", 10, inflated));
    EXPECT_FALSE(InflateElement("x", 0xFFFFFFFFu, inflated));  // refused before allocating
}
