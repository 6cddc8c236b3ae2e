#include "WindowTest.h"

#include <gdk/gdkx.h>
#include <cstdlib>
#include <filesystem>

#include "HostTestSupport.h"

namespace larkhost::test {

XvfbDisplay* WindowTest::display = nullptr;
bool WindowTest::gtkReady = false;

void WindowTest::SetUpTestSuite() {
    display = new XvfbDisplay();
    if (!display->Ok()) return;
    setenv("DISPLAY", display->Display().c_str(), 1);
    setenv("GDK_BACKEND", "x11", 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    setenv("GSETTINGS_BACKEND", "memory", 1);  // the file chooser's settings stay in the test
    gtkReady = gtk_init_check(nullptr, nullptr);
}

void WindowTest::TearDownTestSuite() {
    delete display;
    display = nullptr;
}

void WindowTest::SetUp() {
    if (!gtkReady) GTEST_SKIP() << "no X server (Xvfb) for window tests";
    std::filesystem::create_directories(LARKHOST_SCREENSHOTS);
}

std::string WindowTest::Screenshot(GtkWidget* widget, const std::string& name) {
    gtk_widget_queue_draw(widget);
    // Let a few frames pass so the picture shows the latest state.
    for (int i = 0; i < 20; ++i) {
        PumpPending();
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

void WindowTest::Type(GtkWidget* toplevel, GtkWidget* entry, const std::string& text) {
    gtk_window_present(GTK_WINDOW(toplevel));
    gtk_widget_grab_focus(entry);
    PumpPending();
    std::string id = std::to_string(gdk_x11_window_get_xid(gtk_widget_get_window(toplevel)));
    std::string command =
        "xdotool windowfocus --sync " + id + " type --delay 15 -- '" + text + "'";
    ASSERT_EQ(system(command.c_str()), 0) << command;
    gdk_display_sync(gdk_display_get_default());
    PumpPending();
}

void WindowTest::Click(GtkWidget* toplevel, GtkWidget* button) {
    int x = 0, y = 0;
    gtk_widget_translate_coordinates(button, toplevel,
                                     gtk_widget_get_allocated_width(button) / 2,
                                     gtk_widget_get_allocated_height(button) / 2, &x, &y);
    std::string id = std::to_string(gdk_x11_window_get_xid(gtk_widget_get_window(toplevel)));
    std::string command = "xdotool mousemove --sync --window " + id + " " + std::to_string(x) +
                          " " + std::to_string(y) + " click 1";
    ASSERT_EQ(system(command.c_str()), 0) << command;
    PumpPending();
}

}  // namespace larkhost::test
