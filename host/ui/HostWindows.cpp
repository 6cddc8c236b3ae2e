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
            // The product's icon when installed in the theme, else the desktop's generic game icon.
            const char* iconName = gtk_icon_theme_has_icon(gtk_icon_theme_get_default(), "larkspur")
                                       ? "larkspur"
                                       : "applications-games";
            GtkWidget* icon = gtk_image_new_from_icon_name(iconName, GTK_ICON_SIZE_DIALOG);
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

    // The product ships no first-run splash window.
    bool ShowFirstRunSplash() override { return false; }
    bool FirstRunSplashShowing() override { return false; }
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
