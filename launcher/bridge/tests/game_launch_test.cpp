#include "GameLaunch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "OsEnv.h"
#include "OsFile.h"
#include "TempDir.h"

namespace {

using Pieces = std::vector<std::string>;

TEST(GameLaunch, SplitsLikeTheWindowsCommandLine) {
    EXPECT_EQ(SplitCommandLine("\"/games/Lark Spur/Bin/LarkGame\"  -A English  -U ..1000 key player"),
              (Pieces{"/games/Lark Spur/Bin/LarkGame", "-A", "English", "-U", "..1000", "key", "player"}));
    EXPECT_EQ(SplitCommandLine("a\tb   c"), (Pieces{"a", "b", "c"}));
    // A quote in the middle of a piece groups up to the next quote; an empty quoted piece stays.
    EXPECT_EQ(SplitCommandLine("-n:\"Rowan Ash\" \"\" x"), (Pieces{"-n:Rowan Ash", "", "x"}));
    // An unclosed quote runs to the end.
    EXPECT_EQ(SplitCommandLine("\"open end"), (Pieces{"open end"}));
    EXPECT_EQ(SplitCommandLine("   "), Pieces{});
    EXPECT_EQ(SplitCommandLine(""), Pieces{});
}

TEST(GameLaunch, AWindowsGameRunsThroughWine) {
    hytest::TempDir dir;
    std::string wine = dir.Path() + "/my-wine";
    ASSERT_TRUE(HY_OS::WriteFileAtomic(wine, "#!/bin/sh\n"));
    ::chmod(wine.c_str(), 0755);
    std::string saved;
    bool had = HY_OS::GetEnv("LARK_WINE", saved);
    HY_OS::SetEnv("LARK_WINE", wine);

    std::string program;
    Pieces arguments;
    ASSERT_TRUE(GameProgramFor({"/g/Bin/LarkGame.EXE", "-U", "..7"}, program, arguments));
    EXPECT_EQ(program, wine);
    EXPECT_EQ(arguments, (Pieces{"/g/Bin/LarkGame.EXE", "-U", "..7"}));

    ASSERT_TRUE(GameProgramFor({"/g/Bin/LarkGame", "-U", "..7"}, program, arguments));
    EXPECT_EQ(program, "/g/Bin/LarkGame");
    EXPECT_EQ(arguments, (Pieces{"-U", "..7"}));

    // Wine that cannot be found, and an empty command line, start nothing.
    HY_OS::SetEnv("LARK_WINE", dir.Path() + "/no-wine");
    EXPECT_FALSE(GameProgramFor({"LarkGame.exe"}, program, arguments));
    EXPECT_FALSE(GameProgramFor({}, program, arguments));
    if (had) HY_OS::SetEnv("LARK_WINE", saved);
    else HY_OS::UnsetEnv("LARK_WINE");
}

TEST(GameLaunch, FindsProgramsInPath) {
    EXPECT_EQ(FindProgram("sh").empty(), false);
    EXPECT_EQ(FindProgram("/bin/sh"), "/bin/sh");
    EXPECT_EQ(FindProgram("no-such-program-anywhere"), "");
    EXPECT_EQ(FindProgram(""), "");
}

}  // namespace
