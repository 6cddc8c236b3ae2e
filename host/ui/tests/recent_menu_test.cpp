#include "RecentMenu.h"

#include <gtest/gtest.h>

#include <gtk/gtk.h>
#include <filesystem>
#include <fstream>

#include "HostDefaults.h"
#include "HostTestSupport.h"
#include "TempDir.h"
#include "WindowTest.h"

namespace larkhost {
namespace {

namespace fs = std::filesystem;

class RecentMenuTest : public test::WindowTest {
  protected:
    void SetUp() override {
        test::WindowTest::SetUp();
        if (IsSkipped()) return;
        actions = g_simple_action_group_new();
        menu = std::make_unique<RecentMenu>(
            defaults, G_ACTION_MAP(actions),
            [this](const std::string& path, const std::string& bottle) {
                ran.emplace_back(path, bottle);
            },
            [this] { ++beeps; });
    }
    void TearDown() override {
        menu.reset();
        if (actions != nullptr) g_object_unref(actions);
    }
    std::string File(const std::string& name) {
        std::ofstream(dir.Path(name)) << name;
        return dir.Path(name);
    }
    bool ClearEnabled() {
        return g_action_group_get_action_enabled(G_ACTION_GROUP(actions), "clear-recent");
    }

    hytest::TempDir dir;
    HostDefaults defaults{dir.Path("larkhost.conf")};
    GSimpleActionGroup* actions = nullptr;
    std::unique_ptr<RecentMenu> menu;
    std::vector<std::pair<std::string, std::string>> ran;
    int beeps = 0;
};

TEST_F(RecentMenuTest, ItemsRunInTheirBottleAGoneFileBeepsAndClearEmptiesTheMenu) {
    RecentItems recent(defaults);
    recent.Add(File("Setup.exe"), std::nullopt);
    recent.Add(File("notes.txt"), std::string("Office"));
    recent.Add(File("gone.doc"), std::string("Office"));
    menu->Rebuild();
    // Three documents, then a section with "Clear".
    ASSERT_EQ(g_menu_model_get_n_items(G_MENU_MODEL(menu->Menu())), 4);
    EXPECT_TRUE(ClearEnabled());

    // Shown as a real menu, and an item picked with the pointer.
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_move(GTK_WINDOW(window), 100, 100);
    gtk_window_set_default_size(GTK_WINDOW(window), 300, 40);
    gtk_widget_insert_action_group(window, "app", G_ACTION_GROUP(actions));
    gtk_widget_show_all(window);
    ASSERT_TRUE(test::PumpUntil([&] { return gtk_widget_get_mapped(window); }));
    GtkWidget* popup = gtk_menu_new_from_model(G_MENU_MODEL(menu->Menu()));
    gtk_menu_attach_to_widget(GTK_MENU(popup), window, nullptr);
    gtk_menu_popup_at_widget(GTK_MENU(popup), window, GDK_GRAVITY_NORTH_WEST,
                             GDK_GRAVITY_NORTH_WEST, nullptr);
    ASSERT_TRUE(test::PumpUntil([&] { return gtk_widget_get_mapped(popup); }));
    GtkWidget* toplevel = gtk_widget_get_toplevel(popup);
    Screenshot(toplevel, "recent-items-menu");
    GList* children = gtk_container_get_children(GTK_CONTAINER(popup));
    ASSERT_GE(g_list_length(children), 5u);  // three items, a separator, "Clear"
    GtkWidget* second = GTK_WIDGET(g_list_nth_data(children, 1));
    EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(second)), "notes.txt");
    EXPECT_STREQ(gtk_menu_item_get_label(
                     GTK_MENU_ITEM(g_list_nth_data(children, g_list_length(children) - 1))),
                 "Clear");
    g_list_free(children);
    Click(toplevel, second);
    ASSERT_TRUE(test::PumpUntil([&] { return !ran.empty(); }));
    EXPECT_EQ(ran[0], std::make_pair(dir.Path("notes.txt"), std::string("Office")));
    gtk_widget_destroy(popup);
    gtk_widget_destroy(window);

    // The newest file went away after the menu was built: beep, and the menu is built anew.
    fs::remove(dir.Path("gone.doc"));
    menu->Choose(0);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(ran.size(), 1u);
    ASSERT_EQ(menu->Items().size(), 2u);
    EXPECT_EQ(menu->Items()[0].title, "notes.txt");
    menu->Choose(1);  // the file that is still there runs without a bottle
    EXPECT_EQ(ran.back(), std::make_pair(dir.Path("Setup.exe"), std::string()));
    EXPECT_EQ(beeps, 1);

    g_action_group_activate_action(G_ACTION_GROUP(actions), "clear-recent", nullptr);
    EXPECT_TRUE(RecentItems(defaults).Load().empty());
    ASSERT_EQ(g_menu_model_get_n_items(G_MENU_MODEL(menu->Menu())), 1);  // only "Clear"
    EXPECT_FALSE(ClearEnabled());
}

}  // namespace
}  // namespace larkhost
