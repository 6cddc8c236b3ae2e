#include "MoveActionsGtk.h"

#include <gio/gio.h>
#include <gtk/gtk.h>
#include <sys/wait.h>

namespace larkhost {
namespace {

class DesktopMoveActions : public MoveActions {
  public:
    MoveAnswer Ask(const MoveQuestion& q) override {
        GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION,
                                                   GTK_BUTTONS_NONE, "%s", q.title.c_str());
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", q.text.c_str());
        gtk_dialog_add_button(GTK_DIALOG(dialog), q.stayButton.c_str(),
                              GTK_RESPONSE_CANCEL);  // also Escape
        gtk_dialog_add_button(GTK_DIALOG(dialog), q.moveButton.c_str(), GTK_RESPONSE_ACCEPT);
        gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
        GtkWidget* suppress = gtk_check_button_new_with_label(q.suppressLabel.c_str());
        GtkStyleContext* style = gtk_widget_get_style_context(gtk_bin_get_child(GTK_BIN(suppress)));
        gtk_style_context_add_class(style, "dim-label");  // the small system font
        gtk_box_pack_end(GTK_BOX(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog))),
                         suppress, FALSE, FALSE, 0);
        gtk_widget_show_all(dialog);
        gtk_window_present(GTK_WINDOW(dialog));  // to the front
        MoveAnswer answer;
        answer.move = gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT;
        answer.suppress = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(suppress));
        gtk_widget_destroy(dialog);
        return answer;
    }
    void ShowFailure() override {
        GtkWidget* dialog =
            gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK,
                                   "%s", "Could not move to Applications folder");
        gtk_dialog_run(GTK_DIALOG(dialog));
        gtk_widget_destroy(dialog);
    }
    int RunPrivileged(const std::vector<std::string>& argv) override {
        std::vector<const char*> args = {"pkexec"};
        for (const auto& a : argv) args.push_back(a.c_str());
        args.push_back(nullptr);
        int status = 0;
        GError* error = nullptr;
        if (!g_spawn_sync(nullptr, const_cast<gchar**>(args.data()), nullptr, G_SPAWN_SEARCH_PATH,
                          nullptr, nullptr, nullptr, nullptr, &status, &error)) {
            g_clear_error(&error);
            return -1;
        }
        // pkexec answers 126 when the user dismissed the authorisation.
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    bool Trash(const std::string& path) override {
        GFile* file = g_file_new_for_path(path.c_str());
        bool ok = g_file_trash(file, nullptr, nullptr);
        g_object_unref(file);
        return ok;
    }
    void StartShell(const std::string& command) override {
        const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
        g_spawn_async(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_DEFAULT, nullptr,
                      nullptr, nullptr, nullptr);
    }
};

}  // namespace

std::unique_ptr<MoveActions> MakeDesktopMoveActions() {
    return std::make_unique<DesktopMoveActions>();
}

}  // namespace larkhost
