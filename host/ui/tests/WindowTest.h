// Test support for window tests: a private X server shared by a test suite, screenshots, and
// input synthesised through the X server (xdotool). Tests skip, saying why, without Xvfb.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>

#include "XvfbDisplay.h"

namespace larkhost::test {

class WindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    // Saves the window's picture as PNG in the build folder; answers the file's path.
    static std::string Screenshot(GtkWidget* widget, const std::string& name);
    // Types `text` into `entry` as key presses through the X server (xdotool, XTest).
    static void Type(GtkWidget* toplevel, GtkWidget* entry, const std::string& text);
    // Clicks the middle of `widget` with the pointer, through the X server.
    static void Click(GtkWidget* toplevel, GtkWidget* widget);

    static XvfbDisplay* display;
    static bool gtkReady;
};

}  // namespace larkhost::test
