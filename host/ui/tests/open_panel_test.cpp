#include "OpenPanel.h"

#include <gtest/gtest.h>

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "HostTestSupport.h"
#include "TempDir.h"
#include "WindowTest.h"

namespace larkhost {
namespace {

namespace fs = std::filesystem;

class OpenPanelTest : public test::WindowTest {
  protected:
    void SetUp() override {
        test::WindowTest::SetUp();
        if (IsSkipped()) return;
        fs::create_directories(dir.Path("Office/desktopdata/ptassoc"));
        std::ofstream(dir.Path("Office/desktopdata/ptassoc/ptassoc_macosx.plist"))
            << "<plist><dict><key>Word</key><dict><key>Description</key><string>office</string>"
               "<key>Extension Associations/</key><dict><key>.doc/</key><dict/></dict></dict>"
               "</dict></plist>";
        fs::create_directories(dir.Path("files/sub folder"));
        for (const char* name : {"a.exe", "b.doc", "c.TXT", "Setup.INF", "notes"})
            std::ofstream(dir.Path("files/") + name) << name;
        bottles = {{"Office", "Office", false, true, dir.Path("Office")},
                   {"Games", "games", true, true, dir.Path("Games")},
                   {"attic", "attic", false, true, dir.Path("attic")}};
    }

    // Whether the chooser's own filter lets a file of that name and type through.
    static bool FilterShows(OpenPanel& panel, const char* name, const char* mime) {
        GtkFileFilter* filter = gtk_file_chooser_get_filter(GTK_FILE_CHOOSER(panel.Dialog()));
        GtkFileFilterInfo info{};
        info.contains =
            static_cast<GtkFileFilterFlags>(GTK_FILE_FILTER_DISPLAY_NAME | GTK_FILE_FILTER_MIME_TYPE);
        info.display_name = name;
        info.mime_type = mime;
        return filter != nullptr && gtk_file_filter_filter(filter, &info);
    }

    hytest::TempDir dir;
    std::vector<BottleInfo> bottles;
    std::vector<std::pair<std::string, std::string>> ran;
};

TEST_F(OpenPanelTest, TheChosenBottleDecidesTheTypesAndTheChosenFilesRunInIt) {
    OpenPanel panel(bottles, [&](const std::string& path, const std::string& bottle) {
        ran.emplace_back(path, bottle);
    });
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(panel.Dialog());
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(panel.Dialog())), "Open");
    EXPECT_TRUE(gtk_file_chooser_get_select_multiple(chooser));
    EXPECT_FALSE(gtk_file_chooser_get_create_folders(chooser));
    EXPECT_EQ(gtk_file_chooser_get_action(chooser), GTK_FILE_CHOOSER_ACTION_OPEN);
    // The default bottle first, then by display name ignoring case; the first is chosen.
    const auto& sorted = panel.BottleChooser().Bottles();
    ASSERT_EQ(sorted.size(), 3u);
    EXPECT_EQ(sorted[0].name, "Games");
    EXPECT_EQ(sorted[1].name, "attic");
    EXPECT_EQ(sorted[2].name, "Office");
    EXPECT_EQ(panel.BottleChooser().Chosen()->name, "Games");
    EXPECT_EQ(panel.AllowedTypes(), (std::vector<std::string>{"exe", "inf", "ptarchive", "lnk"}));
    EXPECT_TRUE(FilterShows(panel, "a.exe", "application/x-ms-dos-executable"));
    EXPECT_TRUE(FilterShows(panel, "sub folder", "inode/directory"));
    EXPECT_FALSE(FilterShows(panel, "b.doc", "application/msword"));
    // Choosing the Office bottle adds its associated type, in the chooser's filter too.
    panel.BottleChooser().Choose(2);
    EXPECT_EQ(panel.AllowedTypes().back(), "doc");
    EXPECT_TRUE(FilterShows(panel, "b.doc", "application/msword"));
    EXPECT_FALSE(FilterShows(panel, "c.TXT", "text/plain"));

    panel.Show();
    gtk_file_chooser_set_current_folder(chooser, dir.Path("files").c_str());
    ASSERT_TRUE(test::PumpUntil([&] { return gtk_widget_get_mapped(panel.Dialog()); }));
    for (int i = 0; i < 50; ++i) {  // the folder is listed in the background
        test::PumpPending();
        g_usleep(20000);
    }
    int w = 0, h = 0;
    gtk_window_get_size(GTK_WINDOW(panel.Dialog()), &w, &h);
    EXPECT_LE(w, 1024);  // the whole panel, buttons and bottle chooser, fits the screen
    EXPECT_LE(h, 768);
    Screenshot(panel.Dialog(), "open-panel");

    // Typed by the user: the file's name in the location field, then Return.
    std::string id =
        std::to_string(gdk_x11_window_get_xid(gtk_widget_get_window(panel.Dialog())));
    std::string command = "xdotool windowfocus --sync " + id +
                          " key --delay 50 ctrl+l type --delay 30 'a.exe'";
    ASSERT_EQ(system(command.c_str()), 0);
    for (int i = 0; i < 25; ++i) {
        test::PumpPending();
        g_usleep(20000);
    }
    ASSERT_EQ(system(("xdotool key --window " + id + " Return").c_str()), 0);
    ASSERT_TRUE(test::PumpUntil([&] { return !ran.empty(); }));
    ASSERT_EQ(ran.size(), 1u);
    EXPECT_EQ(ran[0], std::make_pair(dir.Path("files/a.exe"), std::string("Office")));
    EXPECT_FALSE(gtk_widget_get_visible(panel.Dialog()));
}

TEST_F(OpenPanelTest, CancelRunsNothingAndThePanelCanBeShownAgain) {
    int closed = 0;
    OpenPanel panel(bottles, [&](const std::string& path, const std::string& bottle) {
        ran.emplace_back(path, bottle);
    });
    panel.Show([&] { ++closed; });
    ASSERT_TRUE(test::PumpUntil([&] { return gtk_widget_get_mapped(panel.Dialog()); }));
    gtk_dialog_response(GTK_DIALOG(panel.Dialog()), GTK_RESPONSE_CANCEL);
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(gtk_widget_get_visible(panel.Dialog()));
    panel.Show();
    EXPECT_TRUE(test::PumpUntil([&] { return gtk_widget_get_mapped(panel.Dialog()); }));
}

TEST_F(OpenPanelTest, WithoutBottlesTheWindowsTypesRemainAndNothingCrashes) {
    OpenPanel panel({}, [&](const std::string& path, const std::string& bottle) {
        ran.emplace_back(path, bottle);
    });
    EXPECT_EQ(panel.BottleChooser().Chosen(), nullptr);
    EXPECT_EQ(panel.AllowedTypes().size(), 4u);
    panel.BottleChooser().Choose(3);  // out of range: ignored
    EXPECT_EQ(panel.BottleChooser().Chosen(), nullptr);
}

}  // namespace
}  // namespace larkhost
