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
#include "WindowTest.h"

namespace larkhost {
namespace {

namespace fs = std::filesystem;

class RunCommandWindowTest : public test::WindowTest {
  protected:
    void SetUp() override {
        test::WindowTest::SetUp();
        if (IsSkipped()) return;
        setenv("XDG_STATE_HOME", state.Path().c_str(), 1);
        fs::create_directories(root.Path("bin"));
        test::WriteScript(root.Path("bin/ptstart"),
                          "echo \"ptstart $*\"\necho 'err: no such program' >&2\nexit 5\n");
    }

    hytest::TempDir root;
    hytest::TempDir state;
    hytest::TempDir config;
    HostDefaults defaults{config.Path("larkhost.conf")};
};

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
