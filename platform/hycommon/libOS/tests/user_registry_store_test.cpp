// The current user's store of remembered values.
#include <gtest/gtest.h>

#include "OsFile.h"
#include "TempDir.h"
#include "UserRegistryStore.h"

namespace {

TEST(UserRegistryStore, KeepsAnyTextAndNeverOverwritesAStoreItCannotRead) {
    hytest::TempDir dir;
    std::string path = dir / "sub/UserRegistry.txt";
    UserRegistryStore store(path);
    std::string value;
    EXPECT_FALSE(store.ReadString("Software\\Halcyra", "Id", value));
    EXPECT_EQ(store.OpenKey("Software\\Halcyra"), 2) << "no store yet: the key does not exist";
    ASSERT_TRUE(store.WriteString("Software\\Halcyra", "Id", "a\tb\nc\\d"));
    ASSERT_TRUE(store.WriteString("Software\\Halcyra", "Other", "x"));
    ASSERT_TRUE(UserRegistryStore(path).ReadString("Software\\Halcyra", "Id", value));
    EXPECT_EQ(value, "a\tb\nc\\d");
    EXPECT_EQ(store.OpenKey("Software\\Halcyra"), 0);
    EXPECT_EQ(store.OpenKey("Software"), 2) << "a key is matched whole";

    ASSERT_TRUE(HY_OS::WriteFileAtomic(path, "k\tn\tv\nbroken line\n"));
    EXPECT_FALSE(store.ReadString("k", "n", value));
    EXPECT_FALSE(store.WriteString("k", "other", "v"));
    EXPECT_EQ(store.OpenKey("k"), 5) << "a store that cannot be read is denied";
    ASSERT_TRUE(HY_OS::ReadWholeFile(path, value));
    EXPECT_EQ(value, "k\tn\tv\nbroken line\n");
}

}  // namespace
