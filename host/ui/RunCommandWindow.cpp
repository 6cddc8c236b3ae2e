#include "RunCommandWindow.h"

#include <gtk/gtk.h>

#include "HostDefaults.h"

namespace larkhost {
namespace {

GtkWidget* Label(const char* text) {
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(label), 1.0f);
    return label;
}

}  // namespace

RunCommandWindow::RunCommandWindow(std::string porticoRoot, HostDefaults& defaults,
                                   std::vector<BottleInfo> bottles,
                                   RunCommandController::Split split)
    : m_root(porticoRoot),
      m_defaults(defaults),
      m_bottles(SortedBottles(std::move(bottles))),
      m_controller(std::move(porticoRoot), defaults, std::move(split)) {
    Build();
}

RunCommandWindow::~RunCommandWindow() {
    m_alive.reset();
    if (m_results != nullptr) gtk_widget_destroy(m_results);
    if (m_window != nullptr) gtk_widget_destroy(m_window);
}

void RunCommandWindow::Build() {
    m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(m_window), "Run Command");
    gtk_window_set_default_size(GTK_WINDOW(m_window), 560, -1);
    g_signal_connect(m_window, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);

    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 8);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 8);
    gtk_container_set_border_width(GTK_CONTAINER(grid), 16);
    gtk_container_add(GTK_CONTAINER(m_window), grid);

    m_command = gtk_entry_new();
    gtk_widget_set_hexpand(m_command, TRUE);
    GtkWidget* browse = gtk_button_new_with_label("Browse\u2026");
    gtk_grid_attach(GTK_GRID(grid), Label("Command:"), 0, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), m_command, 1, 0, 2, 1);
    gtk_grid_attach(GTK_GRID(grid), browse, 3, 0, 1, 1);

    m_bottle = gtk_combo_box_text_new();
    for (const auto& b : m_bottles)
        gtk_combo_box_text_append(GTK_COMBO_BOX_TEXT(m_bottle), b.name.c_str(),
                                  b.displayName.c_str());
    if (!m_bottles.empty()) gtk_combo_box_set_active(GTK_COMBO_BOX(m_bottle), 0);
    gtk_grid_attach(GTK_GRID(grid), Label("Bottle:"), 0, 1, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), m_bottle, 1, 1, 3, 1);

    GtkWidget* frame = gtk_frame_new("Logging options");
    GtkWidget* inner = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(inner), 6);
    gtk_grid_set_column_spacing(GTK_GRID(inner), 8);
    gtk_container_set_border_width(GTK_CONTAINER(inner), 10);
    gtk_container_add(GTK_CONTAINER(frame), inner);
    gtk_grid_attach(GTK_GRID(grid), frame, 0, 2, 4, 1);

    m_logSwitch = gtk_check_button_new_with_label("Create log file");
    gtk_grid_attach(GTK_GRID(inner), m_logSwitch, 0, 0, 2, 1);
    m_presetButton = gtk_menu_button_new();
    gtk_button_set_label(GTK_BUTTON(m_presetButton), "Presets");
    gtk_grid_attach(GTK_GRID(inner), m_presetButton, 2, 0, 1, 1);
    m_channels = gtk_entry_new();
    gtk_widget_set_hexpand(m_channels, TRUE);
    gtk_grid_attach(GTK_GRID(inner), Label("Debug channels:"), 0, 1, 1, 1);
    gtk_grid_attach(GTK_GRID(inner), m_channels, 1, 1, 2, 1);
    m_environment = gtk_entry_new();
    gtk_grid_attach(GTK_GRID(inner), Label("Environment:"), 0, 2, 1, 1);
    gtk_grid_attach(GTK_GRID(inner), m_environment, 1, 2, 2, 1);
    m_logLabel = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(m_logLabel), 0.0f);
    gtk_label_set_ellipsize(GTK_LABEL(m_logLabel), PANGO_ELLIPSIZE_MIDDLE);
    GtkWidget* chooseLog = gtk_button_new_with_label("Choose\u2026");
    gtk_grid_attach(GTK_GRID(inner), Label("Log file:"), 0, 3, 1, 1);
    gtk_grid_attach(GTK_GRID(inner), m_logLabel, 1, 3, 1, 1);
    gtk_grid_attach(GTK_GRID(inner), chooseLog, 2, 3, 1, 1);

    m_run = gtk_button_new_with_label("Run");
    gtk_widget_set_halign(m_run, GTK_ALIGN_END);
    gtk_grid_attach(GTK_GRID(grid), m_run, 3, 3, 1, 1);

    BuildPresetMenu();
    RecomputeLogPath();
    UpdateRunButton();

    g_signal_connect_swapped(m_command, "changed",
                             G_CALLBACK(+[](RunCommandWindow* w) { w->UpdateRunButton(); }), this);
    g_signal_connect_swapped(m_channels, "changed",
                             G_CALLBACK(+[](RunCommandWindow* w) { w->OnChannelsChanged(); }),
                             this);
    g_signal_connect_swapped(m_logSwitch, "toggled",
                             G_CALLBACK(+[](RunCommandWindow* w) { w->OnLogSwitch(); }), this);
    g_signal_connect_swapped(m_bottle, "changed",
                             G_CALLBACK(+[](RunCommandWindow* w) { w->RecomputeLogPath(); }), this);
    g_signal_connect_swapped(m_run, "clicked", G_CALLBACK(+[](RunCommandWindow* w) { w->OnRun(); }),
                             this);
    g_signal_connect_swapped(
        browse, "clicked", G_CALLBACK(+[](RunCommandWindow* w) {
            GtkWidget* chooser = gtk_file_chooser_dialog_new(
                "Open", GTK_WINDOW(w->m_window), GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
                GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
            if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
                gchar* file = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
                gtk_entry_set_text(GTK_ENTRY(w->m_command), CommandForFile(file).c_str());
                g_free(file);
            }
            gtk_widget_destroy(chooser);
        }),
        this);
    g_signal_connect_swapped(
        chooseLog, "clicked", G_CALLBACK(+[](RunCommandWindow* w) {
            GtkWidget* chooser = gtk_file_chooser_dialog_new(
                "Select a log file", GTK_WINDOW(w->m_window), GTK_FILE_CHOOSER_ACTION_SAVE,
                "_Cancel", GTK_RESPONSE_CANCEL, "_Save", GTK_RESPONSE_ACCEPT, nullptr);
            GtkFileFilter* ptlog = gtk_file_filter_new();
            gtk_file_filter_set_name(ptlog, "Log files (*.ptlog)");
            gtk_file_filter_add_pattern(ptlog, "*.ptlog");
            gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), ptlog);
            GtkFileFilter* all = gtk_file_filter_new();
            gtk_file_filter_set_name(all, "All files");
            gtk_file_filter_add_pattern(all, "*");
            gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), all);
            gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), "log.ptlog");
            if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
                gchar* file = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
                std::string path = file;
                g_free(file);
                if (path.size() < 6 || path.compare(path.size() - 6, 6, ".ptlog") != 0)
                    path += ".ptlog";
                w->m_logPath = path;
                w->m_userPickedLog = true;
                gtk_label_set_text(GTK_LABEL(w->m_logLabel), path.c_str());
            }
            gtk_widget_destroy(chooser);
        }),
        this);
}

void RunCommandWindow::BuildPresetMenu() {
    GtkWidget* menu = gtk_menu_new();
    const auto& presets = LoggingPresets();
    for (size_t i = 0; i < presets.size(); ++i) {
        GtkWidget* item = gtk_menu_item_new_with_label(presets[i].name.c_str());
        gtk_widget_set_tooltip_text(item, PresetToolTip(presets[i]).c_str());
        g_object_set_data(G_OBJECT(item), "preset", GSIZE_TO_POINTER(i));
        g_signal_connect(
            item, "activate", G_CALLBACK(+[](GtkWidget* it, RunCommandWindow* w) {
                w->ChoosePreset(GPOINTER_TO_SIZE(g_object_get_data(G_OBJECT(it), "preset")));
            }),
            this);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    }
    auto recent = RecentLoggingOptions(m_defaults);
    if (!recent.empty()) gtk_menu_shell_append(GTK_MENU_SHELL(menu), gtk_separator_menu_item_new());
    for (const auto& option : recent) {
        GtkWidget* item = gtk_menu_item_new_with_label(ShortenTitle(option.name).c_str());
        g_object_set_data_full(G_OBJECT(item), "channels", g_strdup(option.channels.c_str()),
                               g_free);
        g_object_set_data_full(G_OBJECT(item), "environment", g_strdup(option.environment.c_str()),
                               g_free);
        g_signal_connect(
            item, "activate", G_CALLBACK(+[](GtkWidget* it, RunCommandWindow* w) {
                gtk_entry_set_text(
                    GTK_ENTRY(w->m_channels),
                    static_cast<const char*>(g_object_get_data(G_OBJECT(it), "channels")));
                gtk_entry_set_text(
                    GTK_ENTRY(w->m_environment),
                    static_cast<const char*>(g_object_get_data(G_OBJECT(it), "environment")));
            }),
            this);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    }
    gtk_widget_show_all(menu);
    gtk_menu_button_set_popup(GTK_MENU_BUTTON(m_presetButton), menu);
}

void RunCommandWindow::ChoosePreset(size_t index) {
    if (index >= LoggingPresets().size()) return;
    std::string channels = gtk_entry_get_text(GTK_ENTRY(m_channels));
    std::string environment = gtk_entry_get_text(GTK_ENTRY(m_environment));
    MergePreset(LoggingPresets()[index], channels, environment);
    gtk_entry_set_text(GTK_ENTRY(m_channels), channels.c_str());
    gtk_entry_set_text(GTK_ENTRY(m_environment), environment.c_str());
}

void RunCommandWindow::Show() { gtk_widget_show_all(m_window); }

std::string RunCommandWindow::SelectedBottle() const {
    const gchar* id = gtk_combo_box_get_active_id(GTK_COMBO_BOX(m_bottle));
    return id != nullptr ? id : "";
}

void RunCommandWindow::UpdateRunButton() {
    RunCommandSettings settings;
    settings.command = gtk_entry_get_text(GTK_ENTRY(m_command));
    gtk_widget_set_sensitive(m_run,
                             RunCommandController::CanRun(settings) && !m_controller.Running());
}

void RunCommandWindow::RecomputeLogPath() {
    if (m_userPickedLog) return;
    std::string bottle = SelectedBottle();
    m_logPath = FreeLogFilePath(LogDirectory(), bottle.empty() ? "log" : bottle);
    gtk_label_set_text(GTK_LABEL(m_logLabel), m_logPath.c_str());
}

void RunCommandWindow::OnChannelsChanged() {
    if (m_filtering) return;
    std::string text = gtk_entry_get_text(GTK_ENTRY(m_channels));
    std::string filtered = FilterChannelText(text);
    if (filtered == text) return;
    m_filtering = true;
    int position = gtk_editable_get_position(GTK_EDITABLE(m_channels));
    gtk_entry_set_text(GTK_ENTRY(m_channels), filtered.c_str());
    gtk_editable_set_position(
        GTK_EDITABLE(m_channels),
        std::min<int>(position, static_cast<int>(g_utf8_strlen(filtered.c_str(), -1))));
    m_filtering = false;
}

void RunCommandWindow::OnLogSwitch() {
    bool on = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(m_logSwitch));
    if (on && *gtk_entry_get_text(GTK_ENTRY(m_channels)) == '\0' &&
        *gtk_entry_get_text(GTK_ENTRY(m_environment)) == '\0')
        gtk_entry_set_text(GTK_ENTRY(m_channels), StandardPreset().channels.c_str());
}

void RunCommandWindow::OnRun() {
    RunCommandSettings settings;
    settings.command = gtk_entry_get_text(GTK_ENTRY(m_command));
    settings.bottle = SelectedBottle();
    settings.logEnabled = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(m_logSwitch));
    settings.logFile = m_logPath;
    settings.channels = gtk_entry_get_text(GTK_ENTRY(m_channels));
    settings.environment = gtk_entry_get_text(GTK_ENTRY(m_environment));
    if (!RunCommandController::CanRun(settings)) return;
    std::weak_ptr<bool> alive = m_alive;
    m_controller.Run(settings, [this, alive](const RunCommandResult& result) {
        if (!alive.lock()) return;
        if (result.showResults) ShowResults(result);
        m_userPickedLog = false;
        RecomputeLogPath();
        BuildPresetMenu();
        UpdateRunButton();
    });
    UpdateRunButton();
}

void RunCommandWindow::ShowResults(const RunCommandResult& result) {
    if (m_results != nullptr) gtk_widget_destroy(m_results);
    m_results = gtk_message_dialog_new(GTK_WINDOW(m_window), GTK_DIALOG_DESTROY_WITH_PARENT,
                                       GTK_MESSAGE_WARNING, GTK_BUTTONS_NONE, "Command results");
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(m_results), "%s",
                                             result.message.c_str());
    gtk_dialog_add_button(GTK_DIALOG(m_results), "OK", GTK_RESPONSE_OK);
    GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(m_results));
    GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_widget_set_size_request(scroll, 440, 160);
    GtkWidget* text = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(text), FALSE);
    gtk_text_view_set_monospace(GTK_TEXT_VIEW(text), TRUE);
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(text)), result.details.c_str(),
                             -1);
    gtk_container_add(GTK_CONTAINER(scroll), text);
    gtk_box_pack_start(GTK_BOX(area), scroll, TRUE, TRUE, 0);
    gtk_window_set_modal(GTK_WINDOW(m_results), TRUE);  // a sheet: it belongs to the window
    g_signal_connect_swapped(m_results, "response", G_CALLBACK(+[](RunCommandWindow* w) {
                                 gtk_widget_destroy(w->m_results);
                                 w->m_results = nullptr;
                             }),
                             this);
    gtk_widget_show_all(m_results);
}

}  // namespace larkhost
