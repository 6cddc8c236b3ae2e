#include "HostSetup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "TempDir.h"

namespace larkhost {
namespace {

// The interpreter is started, ended and started again: both cases share one test.
TEST(PythonSetup, BottlesDefaultsQuitStepsAndTheCommandSplitterComeFromPtutils) {
    hytest::TempDir shared;
    hytest::TempDir bottles;
    std::filesystem::create_directories(shared.Path("lib/python"));
    std::filesystem::copy_file(PTUTILS_SOURCE, shared.Path("lib/python/ptutils.py"));
    std::filesystem::create_directories(bottles.Path("zeta/drive_c"));
    std::ofstream(bottles.Path("zeta/system.reg")) << "WINE REGISTRY Version 2\n";
    std::filesystem::create_directories(bottles.Path("Alpha"));
    std::filesystem::create_directories(bottles.Path("Larkspur"));
    setenv("PT_BOTTLE_PATH", bottles.Path().c_str(), 1);

    std::string error;
    {
        PythonSetup setup;
        ASSERT_TRUE(setup.Start(shared.Path(), "/opt/root", error)) << error;
        EXPECT_EQ(setup.DefaultBottle(), "Larkspur");
        auto sorted = SortedBottles(setup.Bottles());
        ASSERT_EQ(sorted.size(), 3u);
        EXPECT_EQ(sorted[0].name, "Larkspur");  // the default first
        EXPECT_TRUE(sorted[0].isDefault);
        EXPECT_EQ(sorted[1].name, "Alpha");  // then by name, ignoring case
        EXPECT_EQ(sorted[2].name, "zeta");
        EXPECT_TRUE(sorted[2].canRunCommands);
        EXPECT_EQ(sorted[2].winePrefix, bottles.Path("zeta"));
        EXPECT_FALSE(sorted[1].canRunCommands);
        // A bottle without a running Wine server agrees to every step at once.
        for (const char* step : {"pre_quit", "quit", "post_quit"})
            EXPECT_TRUE(setup.QuitStep("zeta", step, false));
        EXPECT_FALSE(setup.QuitStep("zeta", "no_such_step", false));
        EXPECT_EQ(setup.SplitCommandLine("\"C:\\Program Files\\a.exe\" -x 'two words'"),
                  (std::vector<std::string>{"C:\\Program Files\\a.exe", "-x", "two words"}));
        EXPECT_TRUE(setup.SplitCommandLine("   ").empty());
        EXPECT_TRUE(setup.SplitCommandLine("\"unbalanced").empty());
    }
    unsetenv("PT_BOTTLE_PATH");

    // Without the module the library reports the failure the host turns into its alert.
    PythonSetup missing;
    hytest::TempDir empty;
    EXPECT_FALSE(missing.Start(empty.Path(), "/opt/root", error));
    EXPECT_EQ(error, "Failed to import ptutils module into Python.  See console for errors.");
}

}  // namespace
}  // namespace larkhost
