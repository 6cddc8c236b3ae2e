#include "HostWindows.h"

#include <gtk/gtk.h>
#include <cstdio>

#include "LogMessage.h"

namespace larkhost {
namespace {

// Without a display: alerts go to standard error and the log; nothing else is shown.
class TerminalUi : public HostUi {
  public:
    explicit TerminalUi(std::function<void()> quit) : m_quit(std::move(quit)) {}
    void ShowAlert(const HostAlert& alert) override {
        std::fprintf(stderr, "%s\n%s\n", alert.title.c_str(), alert.text.c_str());
        HY_LOG(LL_Warning, "HOST", "TerminalUi::ShowAlert", "%s %s", alert.title.c_str(),
               alert.text.c_str());
    }
    void ShowSplash(bool) override {}
    bool ShowFirstRunSplash() override { return false; }
    bool FirstRunSplashShowing() override { return false; }
    void SetMenusEnabled(bool) override {}
    void Quit() override { m_quit(); }

  private:
    std::function<void()> m_quit;
};

// The product's icon when installed in the theme, else the desktop's generic game icon.
const char* ApplicationIconName() {
    return gtk_icon_theme_has_icon(gtk_icon_theme_get_default(), "larkspur") ? "larkspur"
                                                                             : "applications-games";
}

// Draws the first-run splash: a dark panel, the icon on the left, the welcome on the right. The
// area carries the application's name ("app-name") and its icon ("icon").
gboolean DrawFirstRunSplash(GtkWidget* area, cairo_t* cr, gpointer) {
    auto* icon = static_cast<GdkPixbuf*>(g_object_get_data(G_OBJECT(area), "icon"));
    auto* appName = static_cast<const char*>(g_object_get_data(G_OBJECT(area), "app-name"));
    double h = gtk_widget_get_allocated_height(area);
    cairo_pattern_t* fill = cairo_pattern_create_linear(0, 0, 0, h);
    cairo_pattern_add_color_stop_rgb(fill, 0, 0.16, 0.12, 0.32);
    cairo_pattern_add_color_stop_rgb(fill, 1, 0.05, 0.04, 0.12);
    cairo_set_source(cr, fill);
    cairo_paint(cr);
    cairo_pattern_destroy(fill);
    double iconSize = 0;
    if (icon != nullptr) {
        iconSize = gdk_pixbuf_get_width(icon);
        gdk_cairo_set_source_pixbuf(cr, icon, 32, (h - iconSize) / 2);
        cairo_paint(cr);
    }
    PangoLayout* layout = gtk_widget_create_pango_layout(area, nullptr);
    gchar* markup = g_markup_printf_escaped(
        "<span size='xx-large' weight='bold'>Welcome to %s</span>\n\n"
        "<span size='large'>Your game is being prepared.\nThe first start sets up its Windows\n"
        "environment and can take a minute.</span>",
        appName);
    pango_layout_set_markup(layout, markup, -1);
    g_free(markup);
    int tw = 0, th = 0;
    pango_layout_get_pixel_size(layout, &tw, &th);
    cairo_set_source_rgb(cr, 0.96, 0.94, 1.0);
    cairo_move_to(cr, 32 + iconSize + 28, (h - th) / 2);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    return TRUE;
}

GtkWidget* MakeFirstRunSplash(const std::string& appName) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_set_name(window, "firstrunsplash");
    gtk_window_set_title(GTK_WINDOW(window), appName.c_str());
    gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    gtk_window_set_default_size(GTK_WINDOW(window), 560, 220);
    GtkWidget* area = gtk_drawing_area_new();
    GdkPixbuf* icon = gtk_icon_theme_load_icon(gtk_icon_theme_get_default(), ApplicationIconName(),
                                               128, GTK_ICON_LOOKUP_FORCE_SIZE, nullptr);
    if (icon != nullptr) g_object_set_data_full(G_OBJECT(area), "icon", icon, g_object_unref);
    g_object_set_data_full(G_OBJECT(area), "app-name", g_strdup(appName.c_str()), g_free);
    g_signal_connect(area, "draw", G_CALLBACK(DrawFirstRunSplash), nullptr);
    gtk_widget_add_events(window, GDK_BUTTON_PRESS_MASK);
    g_signal_connect(window, "button-press-event",
                     G_CALLBACK(+[](GtkWidget* w, GdkEvent*, gpointer) -> gboolean {
                         gtk_widget_destroy(w);
                         return TRUE;
                     }),
                     nullptr);
    gtk_container_add(GTK_CONTAINER(window), area);
    return window;
}

class GtkUi : public HostUi {
  public:
    GtkUi(GtkApplication* app, std::string appName, std::function<void()> quit,
          std::function<void()> recentChanged)
        : m_app(app),
          m_appName(std::move(appName)),
          m_quit(std::move(quit)),
          m_recentChanged(std::move(recentChanged)) {}
    ~GtkUi() override {
        if (m_splash != nullptr) gtk_widget_destroy(m_splash);
        if (m_firstRun != nullptr) gtk_widget_destroy(m_firstRun);
    }

    void ShowAlert(const HostAlert& alert) override {
        GtkWidget* dialog =
            gtk_message_dialog_new(nullptr, GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_WARNING,
                                   GTK_BUTTONS_NONE, "%s", alert.title.c_str());
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                                 alert.text.c_str());
        gtk_dialog_add_button(GTK_DIALOG(dialog), alert.button.c_str(), GTK_RESPONSE_OK);
        gtk_window_set_title(GTK_WINDOW(dialog), m_appName.c_str());
        if (!alert.icon.empty()) gtk_window_set_icon_name(GTK_WINDOW(dialog), alert.icon.c_str());
        gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
        if (m_app != nullptr) gtk_window_set_application(GTK_WINDOW(dialog), m_app);
        ++m_openAlerts;
        g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkWidget* d, gint, GtkUi* self) {
                             gtk_widget_destroy(d);
                             if (--self->m_openAlerts == 0 && self->m_quitPending) self->m_quit();
                         }),
                         this);
        gtk_widget_show_all(dialog);
    }

    void ShowSplash(bool show) override {
        if (show && m_splash == nullptr) {
            m_splash = gtk_window_new(GTK_WINDOW_TOPLEVEL);
            gtk_window_set_title(GTK_WINDOW(m_splash), m_appName.c_str());
            gtk_window_set_decorated(GTK_WINDOW(m_splash), FALSE);
            gtk_window_set_position(GTK_WINDOW(m_splash), GTK_WIN_POS_CENTER);
            gtk_window_set_default_size(GTK_WINDOW(m_splash), 320, 160);
            GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
            gtk_container_set_border_width(GTK_CONTAINER(box), 24);
            GtkWidget* icon =
                gtk_image_new_from_icon_name(ApplicationIconName(), GTK_ICON_SIZE_DIALOG);
            GtkWidget* label = gtk_label_new(nullptr);
            gchar* markup = g_markup_printf_escaped("<big><b>%s</b></big>", m_appName.c_str());
            gtk_label_set_markup(GTK_LABEL(label), markup);
            g_free(markup);
            GtkWidget* spinner = gtk_spinner_new();
            gtk_spinner_start(GTK_SPINNER(spinner));
            gtk_box_pack_start(GTK_BOX(box), icon, FALSE, FALSE, 0);
            gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 0);
            gtk_box_pack_start(GTK_BOX(box), spinner, FALSE, FALSE, 0);
            gtk_container_add(GTK_CONTAINER(m_splash), box);
            if (m_app != nullptr) gtk_window_set_application(GTK_WINDOW(m_splash), m_app);
        }
        if (m_splash == nullptr) return;
        if (show)
            gtk_widget_show_all(m_splash);
        else
            gtk_widget_hide(m_splash);
    }

    // The "firstrunsplash" window: the application's icon and a welcome, centred; a click
    // dismisses it, and it closes by itself when the launches have finished.
    bool ShowFirstRunSplash() override {
        if (m_firstRun == nullptr) {
            m_firstRun = MakeFirstRunSplash(m_appName);
            if (m_app != nullptr) gtk_window_set_application(GTK_WINDOW(m_firstRun), m_app);
            g_signal_connect(m_firstRun, "destroy", G_CALLBACK(+[](GtkWidget*, GtkUi* self) {
                                 self->m_firstRun = nullptr;
                             }),
                             this);
        }
        gtk_widget_show_all(m_firstRun);
        return true;
    }
    bool FirstRunSplashShowing() override {
        return m_firstRun != nullptr && gtk_widget_get_visible(m_firstRun);
    }
    void CloseSplashes() override {
        ShowSplash(false);
        if (m_firstRun != nullptr) gtk_widget_destroy(m_firstRun);  // clears m_firstRun
    }
    // Until start-up enables them, only the Help items work.
    void SetMenusEnabled(bool enabled) override {
        m_menusEnabled = enabled;
        for (const char* name : {"open", "run-command"}) {
            GAction* action = g_action_map_lookup_action(G_ACTION_MAP(m_app), name);
            if (action != nullptr) g_simple_action_set_enabled(G_SIMPLE_ACTION(action), enabled);
        }
    }
    void RecentItemsChanged() override {
        if (m_recentChanged) m_recentChanged();
    }

    // An alert still on screen is read before the application goes.
    void Quit() override {
        if (m_openAlerts > 0) {
            m_quitPending = true;
            ShowSplash(false);
            return;
        }
        m_quit();
    }

  private:
    int m_openAlerts = 0;
    bool m_quitPending = false;
    GtkApplication* m_app;
    std::string m_appName;
    std::function<void()> m_quit;
    std::function<void()> m_recentChanged;
    GtkWidget* m_splash = nullptr;
    GtkWidget* m_firstRun = nullptr;
    bool m_menusEnabled = false;
};

}  // namespace

std::unique_ptr<HostUi> MakeHostUi(GtkApplication* application, const std::string& appName,
                                   std::function<void()> quit,
                                   std::function<void()> recentChanged) {
    if (application == nullptr) return std::make_unique<TerminalUi>(std::move(quit));
    return std::make_unique<GtkUi>(application, appName, std::move(quit), std::move(recentChanged));
}

}  // namespace larkhost
