#include "HostWindows.h"

#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include "HostTestSupport.h"
#include "WindowTest.h"

namespace larkhost {
namespace {

class HostWindowsTest : public test::WindowTest {
  protected:
    void SetUp() override {
        test::WindowTest::SetUp();
        if (IsSkipped()) return;
        app = gtk_application_new("com.tessaline.larkspur.test", G_APPLICATION_NON_UNIQUE);
        g_application_register(G_APPLICATION(app), nullptr, nullptr);
        ui = MakeHostUi(app, "Larkspur", [this] { ++quits; });
    }
    void TearDown() override {
        ui.reset();
        if (app != nullptr) g_object_unref(app);
    }

    // The toplevel window named `name`, if one is on screen.
    static GtkWidget* Shown(const char* name) {
        GList* all = gtk_window_list_toplevels();
        GtkWidget* found = nullptr;
        for (GList* w = all; w != nullptr; w = w->next)
            if (g_strcmp0(gtk_widget_get_name(GTK_WIDGET(w->data)), name) == 0 &&
                gtk_widget_get_visible(GTK_WIDGET(w->data)))
                found = GTK_WIDGET(w->data);
        g_list_free(all);
        return found;
    }

    GtkApplication* app = nullptr;
    std::unique_ptr<HostUi> ui;
    int quits = 0;
};

TEST_F(HostWindowsTest, TheFirstRunSplashShowsCentredAndClosesWithTheLaunchSplash) {
    EXPECT_FALSE(ui->FirstRunSplashShowing());
    ASSERT_TRUE(ui->ShowFirstRunSplash());
    GtkWidget* splash = Shown("firstrunsplash");
    ASSERT_NE(splash, nullptr);
    ASSERT_TRUE(test::PumpUntil([&] { return gtk_widget_get_mapped(splash); }));
    EXPECT_TRUE(ui->FirstRunSplashShowing());
    // Centred on the 1024x768 screen.
    int x = 0, y = 0, w = 0, h = 0;
    ASSERT_TRUE(test::PumpUntil([&] {
        gdk_window_get_origin(gtk_widget_get_window(splash), &x, &y);
        return x > 0;
    }));
    gtk_window_get_size(GTK_WINDOW(splash), &w, &h);
    EXPECT_NEAR(x + w / 2, 512, 2);
    EXPECT_NEAR(y + h / 2, 384, 2);
    Screenshot(splash, "first-run-splash");
    // The launch splash may come and go while it shows; finishing the launches closes both.
    ui->ShowSplash(true);
    EXPECT_NE(Shown("firstrunsplash"), nullptr);
    ui->CloseSplashes();
    test::PumpPending();
    EXPECT_FALSE(ui->FirstRunSplashShowing());
    EXPECT_EQ(Shown("firstrunsplash"), nullptr);
    // A click dismisses it too.
    ASSERT_TRUE(ui->ShowFirstRunSplash());
    splash = Shown("firstrunsplash");
    ASSERT_TRUE(test::PumpUntil([&] { return gtk_widget_get_mapped(splash); }));
    ASSERT_TRUE(test::PumpUntil([&] {
        gdk_window_get_origin(gtk_widget_get_window(splash), &x, &y);
        return x > 0;  // placed in the middle before the pointer aims at it
    }));
    Click(splash, gtk_bin_get_child(GTK_BIN(splash)));
    ASSERT_TRUE(test::PumpUntil([&] { return !ui->FirstRunSplashShowing(); }));
}

}  // namespace
}  // namespace larkhost
