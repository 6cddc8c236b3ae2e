#include "LanguageFile.h"

#include <gtest/gtest.h>

#include "launcher_test_support.h"

namespace {

using launcher_test::TempDirectory;
using launcher_test::WriteFile;

TEST(LanguageFile, GameRootIsTwoLevelsAboveTheBank) {
    EXPECT_EQ(GameRootOf("/games/Larkspur/PatchClient/BankA"), "/games/Larkspur");
    EXPECT_EQ(GameRootOf("C:\\Games\\Larkspur\\PatchClient\\BankB"), "C:\\Games\\Larkspur");
    EXPECT_EQ(GameRootOf("/PatchClient/BankA"), "/PatchClient");  // a separator at 0 stays
    EXPECT_EQ(GameRootOf("BankA"), "BankA");
}

TEST(LanguageFile, NameEndsAtTheFirstControlOrNonAsciiByte) {
    TempDirectory dir;
    std::string path = dir.Path() + "/Lang.txt";
    EXPECT_EQ(ReadLanguageName(path), "English");  // no file

    const struct {
        std::string content;
        std::string name;
    } cases[] = {
        {"French\r\n", "French"},
        {"German", "German"},
        {"", ""},
        {"Espa\xc3\xb1ol", "Espa"},
        {std::string("Ital\0ian", 8), "Ital"},
        {"\x01garbage", ""},
        {std::string(100000, 'A'), std::string(kMaxLanguageNameLength, 'A')},
    };
    for (const auto& c : cases) {
        WriteFile(path, c.content);
        EXPECT_EQ(ReadLanguageName(path), c.name) << c.content.substr(0, 20);
    }
    EXPECT_EQ(ReadLanguageName(dir.Path()), "English");  // a directory, not a file
}

}  // namespace
