#include "OsFileInfo.h"

#include <gtest/gtest.h>

#include "OsFile.h"
#include "TempDir.h"

namespace {

TEST(DirectoryHandleWin, OpensFoldersBelowItOneNameAtATimeAndExaminesEntriesThemselves) {
    hytest::TempDir dir;
    ASSERT_TRUE(HY_OS::CreateDirectories(dir / "Data/Maps"));
    ASSERT_TRUE(HY_OS::WriteFileAtomic(dir / "Data/a.bin", "12345"));

    HY_OS::DirectoryHandle root = HY_OS::DirectoryHandle::Open(dir.Path());
    ASSERT_TRUE(root.IsOpen());
    bool isLink = true;
    HY_OS::DirectoryHandle data = root.OpenChild("Data", isLink);
    ASSERT_TRUE(data.IsOpen());
    EXPECT_FALSE(isLink);
    EXPECT_TRUE(data.OpenChild("Maps", isLink).IsOpen());

    HY_OS::FileInfo info;
    ASSERT_TRUE(data.ChildInfo("a.bin", info));
    EXPECT_TRUE(info.isRegular);
    EXPECT_EQ(info.size, 5);
    EXPECT_FALSE(info.isSymbolicLink);

    // A file is no folder, a missing name opens nothing, and only single plain names are taken.
    EXPECT_FALSE(data.OpenChild("a.bin", isLink).IsOpen());
    EXPECT_FALSE(isLink);
    EXPECT_FALSE(data.OpenChild("missing", isLink).IsOpen());
    EXPECT_FALSE(data.OpenChild("..", isLink).IsOpen());
    EXPECT_FALSE(root.OpenChild("Data/Maps", isLink).IsOpen());
    EXPECT_FALSE(data.ChildInfo("missing", info));

    // A moved handle keeps the folder; the one it left is closed.
    HY_OS::DirectoryHandle moved = std::move(data);
    EXPECT_TRUE(moved.IsOpen());
    EXPECT_FALSE(data.IsOpen());
    EXPECT_FALSE(HY_OS::DirectoryHandle::Open(dir / "Data/a.bin").IsOpen());
}

}  // namespace
