#include "OpenPanel.h"

#include <gtk/gtk.h>

#include "OpenFileTypes.h"

namespace larkhost {

SelectBottleController::SelectBottleController(std::vector<BottleInfo> bottles)
    : m_bottles(SortedBottles(std::move(bottles))) {
    m_view = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_set_name(m_view, "SelectBottleView");
    gtk_box_pack_start(GTK_BOX(m_view), gtk_label_new("Bottle:"), FALSE, FALSE, 0);
    m_combo = gtk_combo_box_text_new();
    for (const auto& bottle : m_bottles)
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(m_combo),
                                       bottle.displayName.empty() ? bottle.name.c_str()
                                                                  : bottle.displayName.c_str());
    if (!m_bottles.empty()) gtk_combo_box_set_active(GTK_COMBO_BOX(m_combo), 0);
    g_signal_connect(m_combo, "changed",
                     G_CALLBACK(+[](GtkComboBox*, SelectBottleController* self) {
                         if (self->m_changed) self->m_changed();
                     }),
                     this);
    gtk_box_pack_start(GTK_BOX(m_view), m_combo, FALSE, FALSE, 0);
    g_object_ref_sink(m_view);  // kept until the panel goes, whoever holds it meanwhile
}

const BottleInfo* SelectBottleController::Chosen() const {
    int index = gtk_combo_box_get_active(GTK_COMBO_BOX(m_combo));
    if (index < 0 || static_cast<size_t>(index) >= m_bottles.size()) return nullptr;
    return &m_bottles[static_cast<size_t>(index)];
}

void SelectBottleController::Choose(size_t index) {
    if (index < m_bottles.size()) gtk_combo_box_set_active(GTK_COMBO_BOX(m_combo), static_cast<int>(index));
}

OpenPanel::OpenPanel(std::vector<BottleInfo> bottles, RunClient run)
    : m_bottles(std::move(bottles)), m_run(std::move(run)) {
    m_dialog = gtk_file_chooser_dialog_new("Open", nullptr, GTK_FILE_CHOOSER_ACTION_OPEN,
                                           "_Cancel", GTK_RESPONSE_CANCEL, "Open",
                                           GTK_RESPONSE_ACCEPT, nullptr);
    g_object_ref_sink(m_dialog);
    gtk_dialog_set_default_response(GTK_DIALOG(m_dialog), GTK_RESPONSE_ACCEPT);
    // The chooser sizes itself from the font when first shown; a screen's worth at most.
    g_signal_connect_after(m_dialog, "map", G_CALLBACK(+[](GtkWidget* dialog, gpointer) {
                               gtk_window_resize(GTK_WINDOW(dialog), 760, 520);
                           }),
                           nullptr);
    gtk_window_set_position(GTK_WINDOW(m_dialog), GTK_WIN_POS_CENTER);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(m_dialog);
    gtk_file_chooser_set_select_multiple(chooser, TRUE);
    gtk_file_chooser_set_create_folders(chooser, FALSE);
    gtk_file_chooser_set_local_only(chooser, TRUE);
    GtkWidget* extra = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    GtkWidget* message = gtk_label_new(
        "If possible, the selected document will be opened in the appropriate Windows "
        "application.\nAvailable file types may vary depending on which bottle is selected "
        "below.");
    gtk_label_set_xalign(GTK_LABEL(message), 0);
    gtk_box_pack_start(GTK_BOX(extra), message, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(extra), m_bottles.View(), FALSE, FALSE, 0);
    gtk_widget_show_all(extra);
    gtk_file_chooser_set_extra_widget(chooser, extra);
    m_bottles.OnChange([this] { UpdateFilter(); });
    UpdateFilter();
    g_signal_connect(m_dialog, "response", G_CALLBACK(+[](GtkDialog*, int response, OpenPanel* self) {
                         self->Answered(response);
                     }),
                     this);
    g_signal_connect(m_dialog, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);
}

OpenPanel::~OpenPanel() {
    gtk_widget_destroy(m_dialog);
    g_object_unref(m_dialog);
    g_object_unref(m_bottles.View());
}

bool OpenPanel::Shows(const std::string& name, bool isFolder) const {
    return OpenPanelShows(name, isFolder, m_types);
}

// A new filter each time, so the chooser filters its list again.
void OpenPanel::UpdateFilter() {
    const BottleInfo* chosen = m_bottles.Chosen();
    m_types = chosen != nullptr ? AllowedFileTypes(*chosen) : AllowedFileTypes(BottleInfo{});
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_add_custom(
        filter,
        static_cast<GtkFileFilterFlags>(GTK_FILE_FILTER_DISPLAY_NAME | GTK_FILE_FILTER_MIME_TYPE),
        +[](const GtkFileFilterInfo* info, gpointer self) -> gboolean {
            bool folder = info->mime_type != nullptr &&
                          g_strcmp0(info->mime_type, "inode/directory") == 0;
            return info->display_name != nullptr &&
                   static_cast<OpenPanel*>(self)->Shows(info->display_name, folder);
        },
        this, nullptr);
    gtk_file_chooser_set_filter(GTK_FILE_CHOOSER(m_dialog), filter);
}

void OpenPanel::Show(std::function<void()> closed) {
    m_closed = std::move(closed);
    gtk_window_present(GTK_WINDOW(m_dialog));
}

void OpenPanel::Answered(int response) {
    gtk_widget_hide(m_dialog);
    if (response == GTK_RESPONSE_ACCEPT) {
        const BottleInfo* chosen = m_bottles.Chosen();
        std::string bottle = chosen != nullptr ? chosen->name : std::string();
        GSList* files = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(m_dialog));
        for (GSList* f = files; f != nullptr; f = f->next) {
            m_run(static_cast<char*>(f->data), bottle);
            g_free(f->data);
        }
        g_slist_free(files);
    }
    if (m_closed) m_closed();
}

}  // namespace larkhost
