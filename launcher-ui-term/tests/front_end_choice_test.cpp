#include "WindowLibrary.h"

#include <gtest/gtest.h>

#include <string>

#include "OsEnv.h"

namespace {

TEST(FrontEndChoice, TheEnvironmentDecidesBetweenWindowAndTerminal) {
    struct Case {
        const char* larkUi;
        bool display, installed;
        WindowFrontEnd expected;
    };
    const Case cases[] = {
        // Nothing asked: the window needs a display and its library beside the program.
        {"", true, true, WF_Graphical},
        {"", false, true, WF_Terminal},
        {"", true, false, WF_Terminal},
        {"", false, false, WF_Terminal},
        // Asked for by name: the terminal whatever the display, the window even where it may fail.
        {"terminal", true, true, WF_Terminal},
        {"graphical", false, false, WF_Graphical},
        // A value of neither kind counts as not set.
        {"tty", true, true, WF_Graphical},
        {"tty", false, true, WF_Terminal},
    };
    for (const Case& c : cases) {
        FrontEndChoice choice = ChooseWindowFrontEnd(c.larkUi, c.display, c.installed);
        EXPECT_EQ(choice.frontEnd, c.expected)
            << "LARK_UI=" << c.larkUi << " display=" << c.display << " installed=" << c.installed;
        EXPECT_NE(std::string(choice.reason), "");
    }
}

TEST(FrontEndChoice, TheChosenLibraryFollowsTheProcessEnvironment) {
    std::string message;
    HY_OS::SetEnv("LARK_UI", "terminal");
    EXPECT_EQ(WindowLibrary::ChosenLibrary(message), "LarkLauncherUI-term");
    EXPECT_EQ(message, "Larkspur: window front-end: terminal (LARK_UI=terminal)");
    EXPECT_EQ(WindowLibrary(WindowLibrary::kTerminalLibraryName).FileName(),
              "libLarkLauncherUI-term.so");

    HY_OS::SetEnv("LARK_UI", "graphical");
    EXPECT_EQ(WindowLibrary::ChosenLibrary(message), "LarkLauncherUI");

    // No display and no graphical library beside this test program: the terminal.
    std::string display, wayland;
    bool hadDisplay = HY_OS::GetEnv("DISPLAY", display);
    bool hadWayland = HY_OS::GetEnv("WAYLAND_DISPLAY", wayland);
    HY_OS::SetEnv("LARK_UI", "");
    HY_OS::SetEnv("DISPLAY", ":99");
    HY_OS::SetEnv("WAYLAND_DISPLAY", "");
    EXPECT_EQ(WindowLibrary::ChosenLibrary(message), "LarkLauncherUI-term");
    EXPECT_EQ(message, "Larkspur: window front-end: terminal (the graphical window is not installed)");
    HY_OS::SetEnv("DISPLAY", "");
    EXPECT_EQ(WindowLibrary::ChosenLibrary(message), "LarkLauncherUI-term");
    EXPECT_EQ(message, "Larkspur: window front-end: terminal (no display)");
    HY_OS::SetEnv("LARK_UI", "sideways");
    WindowLibrary::ChosenLibrary(message);
    EXPECT_NE(message.find("LARK_UI=sideways is not known"), std::string::npos) << message;

    HY_OS::SetEnv("LARK_UI", "");
    HY_OS::SetEnv("DISPLAY", hadDisplay ? display : "");
    HY_OS::SetEnv("WAYLAND_DISPLAY", hadWayland ? wayland : "");
}

}  // namespace
