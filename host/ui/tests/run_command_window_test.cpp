#include "RunCommandWindow.h"

#include <gtest/gtest.h>

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <cstdlib>
#include <filesystem>

#include "HostDefaults.h"
#include "HostTestSupport.h"
#include "LoggingOptions.h"
#include "TempDir.h"
#include "XvfbDisplay.h"

namespace larkhost {
namespace {

namespace fs = std::filesystem;

class RunCommandWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        display = new test::XvfbDisplay();
        if (!display->Ok()) return;
        setenv("DISPLAY", display->Display().c_str(), 1);
        setenv("GDK_BACKEND", "x11", 1);
        setenv("NO_AT_BRIDGE", "1", 1);
        gtkReady = gtk_init_check(nullptr, nullptr);
    }
    static void TearDownTestSuite() {
        delete display;
        display = nullptr;
    }
    void SetUp() override {
        if (!gtkReady) GTEST_SKIP() << "no X server (Xvfb) for window tests";
        setenv("XDG_STATE_HOME", state.Path().c_str(), 1);
        fs::create_directories(root.Path("bin"));
        test::WriteScript(root.Path("bin/ptstart"),
                          "echo \"ptstart $*\"\necho 'err: no such program' >&2\nexit 5\n");
        fs::create_directories(LARKHOST_SCREENSHOTS);
    }

    // Saves the window's picture as PNG in the build folder.
    static std::string Screenshot(GtkWidget* widget, const std::string& name) {
        gtk_widget_queue_draw(widget);
        // Let a few frames pass so the picture shows the latest state.
        for (int i = 0; i < 20; ++i) {
            test::PumpPending();
            g_usleep(10000);
        }
        GdkWindow* window = gtk_widget_get_window(widget);
        int w = gdk_window_get_width(window), h = gdk_window_get_height(window);
        GdkPixbuf* picture = gdk_pixbuf_get_from_window(window, 0, 0, w, h);
        std::string path = std::string(LARKHOST_SCREENSHOTS) + "/" + name + ".png";
        if (picture != nullptr) {
            gdk_pixbuf_save(picture, path.c_str(), "png", nullptr, nullptr);
            g_object_unref(picture);
        }
        return path;
    }

    // Types `text` into `entry` as key presses through the X server (xdotool, XTest).
    static void Type(GtkWidget* toplevel, GtkWidget* entry, const std::string& text) {
        gtk_window_present(GTK_WINDOW(toplevel));
        gtk_widget_grab_focus(entry);
        test::PumpPending();
        std::string id = std::to_string(gdk_x11_window_get_xid(gtk_widget_get_window(toplevel)));
        std::string command =
            "xdotool windowfocus --sync " + id + " type --delay 15 -- '" + text + "'";
        ASSERT_EQ(system(command.c_str()), 0) << command;
        gdk_display_sync(gdk_display_get_default());
        test::PumpPending();
    }

    // Clicks the middle of `button` with the pointer, through the X server.
    static void Click(GtkWidget* toplevel, GtkWidget* button) {
        int x = 0, y = 0;
        gtk_widget_translate_coordinates(button, toplevel,
                                         gtk_widget_get_allocated_width(button) / 2,
                                         gtk_widget_get_allocated_height(button) / 2, &x, &y);
        std::string id = std::to_string(gdk_x11_window_get_xid(gtk_widget_get_window(toplevel)));
        std::string command = "xdotool mousemove --sync --window " + id + " " + std::to_string(x) +
                              " " + std::to_string(y) + " click 1";
        ASSERT_EQ(system(command.c_str()), 0) << command;
        test::PumpPending();
    }

    static test::XvfbDisplay* display;
    static bool gtkReady;
    hytest::TempDir root;
    hytest::TempDir state;
    hytest::TempDir config;
    HostDefaults defaults{config.Path("larkhost.conf")};
};

test::XvfbDisplay* RunCommandWindowTest::display = nullptr;
bool RunCommandWindowTest::gtkReady = false;

TEST_F(RunCommandWindowTest, TypedChannelsAreCleanedPresetsMergeAndTheLogFileNameIsTheBottles) {
    RunCommandWindow window(root.Path(), defaults,
                            {{"Zed", "Zed", false, true}, {"Games", "Games", true, true}},
                            test::SplitOnSpaces);
    window.Show();
    ASSERT_TRUE(test::PumpUntil([&] { return gtk_widget_get_mapped(window.Window()); }));
    // The default bottle comes first and names the log file.
    EXPECT_EQ(window.LogFilePath(), LogDirectory() + "/Games.ptlog");
    EXPECT_FALSE(gtk_widget_get_sensitive(window.RunButton()));  // no command yet

    Type(window.Window(), window.ChannelsEntry(), "+pid +file,,+seh");
    ASSERT_TRUE(test::PumpUntil([&] {
        return std::string(gtk_entry_get_text(GTK_ENTRY(window.ChannelsEntry()))) ==
               "+pid,+file,+seh";
    })) << gtk_entry_get_text(GTK_ENTRY(window.ChannelsEntry()));
    window.ChoosePreset(2);  // Game Graphics
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(window.ChannelsEntry())), "+pid,+file,+seh,+d3d");
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(window.EnvironmentEntry())),
                 "VKD3D_DEBUG=trace VKD3D_SHADER_DEBUG=trace");
    std::string shot = Screenshot(window.Window(), "run-command-window");
    EXPECT_TRUE(fs::exists(shot));
}

TEST_F(RunCommandWindowTest, SwitchingTheLogOnWithEmptyFieldsPutsInTheStandardChannels) {
    RunCommandWindow window(root.Path(), defaults, {{"Games", "Games", true, true}},
                            test::SplitOnSpaces);
    window.Show();
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(window.LogSwitch()), TRUE);
    EXPECT_EQ(gtk_entry_get_text(GTK_ENTRY(window.ChannelsEntry())), StandardPreset().channels);
}

TEST_F(RunCommandWindowTest, AFailingCommandShowsItsResultsSheet) {
    RunCommandWindow window(root.Path(), defaults, {{"Games", "Games", true, true}},
                            test::SplitOnSpaces);
    window.Show();
    ASSERT_TRUE(test::PumpUntil([&] { return gtk_widget_get_mapped(window.Window()); }));
    Type(window.Window(), window.CommandEntry(), "C:x.exe -a");
    ASSERT_TRUE(test::PumpUntil([&] { return gtk_widget_get_sensitive(window.RunButton()); }));
    Click(window.Window(), window.RunButton());
    ASSERT_TRUE(test::PumpUntil([&] {
        return window.ResultsSheet() != nullptr && gtk_widget_get_mapped(window.ResultsSheet());
    })) << gtk_entry_get_text(GTK_ENTRY(window.CommandEntry()));
    GtkWidget* area =
        gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(window.ResultsSheet()));
    std::string texts;
    GList* children = gtk_container_get_children(GTK_CONTAINER(area));
    for (GList* c = children; c != nullptr; c = c->next)
        if (GTK_IS_LABEL(c->data))
            texts += std::string(gtk_label_get_text(GTK_LABEL(c->data))) + "|";
    g_list_free(children);
    std::string command = gtk_entry_get_text(GTK_ENTRY(window.CommandEntry()));
    EXPECT_EQ(texts, "Command results|The command " + command + " returned 5.|");
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(window.ResultsSheet())),
              GTK_WINDOW(window.Window()));
    Screenshot(window.ResultsSheet(), "command-results-sheet");
}

}  // namespace
}  // namespace larkhost
