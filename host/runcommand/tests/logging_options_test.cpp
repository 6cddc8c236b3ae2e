#include "LoggingOptions.h"

#include <gtest/gtest.h>

#include <fstream>

#include "HostDefaults.h"
#include "TempDir.h"

namespace larkhost {
namespace {

TEST(LoggingOptions, TwelvePresetsWordForWord) {
    const auto& presets = LoggingPresets();
    ASSERT_EQ(presets.size(), 12u);
    std::vector<std::string> names;
    for (const auto& p : presets) names.push_back(p.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Standard", "Crash (very verbose)", "Game Graphics",
                                               "Sound (verbose)", "File Access", "Game Controllers",
                                               "Keyboard Input", "Mouse Input", "Window Behavior",
                                               "Network Connections", "Fonts", "Printing"}));
    EXPECT_EQ(presets[2].environment, "VKD3D_DEBUG=trace VKD3D_SHADER_DEBUG=trace");
    EXPECT_EQ(PresetToolTip(presets[4]), "+file,+ntdll,+pid");
    EXPECT_EQ(PresetToolTip(presets[2]), "+d3d\nVKD3D_DEBUG=trace VKD3D_SHADER_DEBUG=trace");
    EXPECT_EQ(StandardPreset().channels, "+pid,+process,+module,+loaddll,+seh,+threadname");
}

TEST(LoggingOptions, TheChannelFieldKeepsOnlyChannelCharacters) {
    EXPECT_EQ(FilterChannelText("+pid +file"), "+pid,+file");
    EXPECT_EQ(FilterChannelText("+pid,,+file"), "+pid,+file");
    EXPECT_EQ(FilterChannelText("+pid , \t+file"), "+pid,+file");
    EXPECT_EQ(FilterChannelText("warn+seh;rm -rf/*"), "warn+sehrm,-rf");
    EXPECT_EQ(FilterChannelText("-all,trace+x_y"), "-all,trace+x_y");
}

TEST(LoggingOptions, PresetsMergeWithoutDuplicates) {
    std::string channels = "+pid,+file";
    std::string env = "A=1";
    MergePreset(LoggingPresets()[2], channels, env);  // Game Graphics
    MergePreset(LoggingPresets()[4], channels, env);  // File Access
    EXPECT_EQ(channels, "+pid,+file,+d3d,+ntdll");
    EXPECT_EQ(env, "A=1 VKD3D_DEBUG=trace VKD3D_SHADER_DEBUG=trace");
}

TEST(LoggingOptions, AUsedLogFileNameGetsTheNextNumber) {
    hytest::TempDir dir;
    EXPECT_EQ(FreeLogFilePath(dir.Path(), "Larkspur"), dir.Path("Larkspur.ptlog"));
    std::ofstream(dir.Path("Larkspur.ptlog")) << "x";
    EXPECT_EQ(FreeLogFilePath(dir.Path(), "Larkspur"), dir.Path("Larkspur 2.ptlog"));
    std::ofstream(dir.Path("Larkspur 2.ptlog")) << "x";
    EXPECT_EQ(FreeLogFilePath(dir.Path(), "Larkspur"), dir.Path("Larkspur 3.ptlog"));
}

TEST(LoggingOptions, AFourthRecentSettingPushesOutTheOldestAndRepeatsMoveToTheFront) {
    hytest::TempDir dir;
    HostDefaults defaults(dir.Path("larkhost.conf"));
    RememberLoggingOption(defaults, "+a", "");
    RememberLoggingOption(defaults, "+b", "B=1");
    RememberLoggingOption(defaults, "+c", "");
    RememberLoggingOption(defaults, "+a", "");  // again: moves to the front
    RememberLoggingOption(defaults, "+d", "");
    HostDefaults reread(dir.Path("larkhost.conf"));  // kept on disk
    auto recent = RecentLoggingOptions(reread);
    ASSERT_EQ(recent.size(), 3u);
    EXPECT_EQ(recent[0].channels, "+d");
    EXPECT_EQ(recent[1].channels, "+a");
    EXPECT_EQ(recent[2].channels, "+c");
    RememberLoggingOption(reread, "+b", "B=1");
    recent = RecentLoggingOptions(reread);
    EXPECT_EQ(recent[0].environment, "B=1");
    EXPECT_EQ(recent[0].name, "+b B=1");
}

TEST(LoggingOptions, LongTitlesAreShortenedInTheMiddle) {
    EXPECT_EQ(ShortenTitle("short"), "short");
    std::string title(60, 'a');
    title += "END";
    std::string shortened = ShortenTitle(title, 21);
    EXPECT_EQ(shortened, std::string(10, 'a') + "\u2026" + "aaaaaaaEND");
}

}  // namespace
}  // namespace larkhost
