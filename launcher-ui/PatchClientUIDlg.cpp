#include "PatchClientUIDlg.h"

#include "FontFiles.h"
#include "InterfaceStrings.h"
#include "OsFile.h"
#include "TextConvert.h"
#include "TickSource.h"
#include "UiHooks.h"
#include "UserNameStore.h"

namespace LarkUi {

namespace {

constexpr const char* kTemplateCaption = "Larkspur Launcher - Halcyra";

// The three fonts. The character heights of the Windows fonts (20 and 18 pixels) are cell
// heights; the em sizes below give the same cells.
std::string StyleSheet() {
    auto rule = [](ControlId id, const char* body) {
        return "#" + ControlName(id) + " " + body + "\n";
    };
    std::string fancy = std::string("font-family: \"") + kButtonFace + "\"; ";
    std::string field = std::string("font-family: \"") + kFieldFace + "\"; ";
    return rule(IDC_LOGIN,
                ("{ " + fancy + "font-size: 16px; font-weight: 400; padding: 0; }").c_str()) +
           rule(IDC_SETTINGS, "{ padding: 0; }") +
           rule(IDC_USERNAME,
                ("{ " + field +
                 "font-size: 16px; font-weight: 700; min-height: 0; padding: 0 4px; }")
                    .c_str()) +
           rule(IDC_PASSWORD,
                ("{ " + field +
                 "font-size: 16px; font-weight: 700; min-height: 0; padding: 0 4px; }")
                    .c_str()) +
           rule(IDC_FILE_PROGRESS,
                ("{ " + field + "font-size: 16px; font-weight: 700; }").c_str()) +
           rule(IDC_TOTAL_PROGRESS,
                ("{ " + field + "font-size: 16px; font-weight: 700; }").c_str()) +
           "progressbar trough, progressbar progress { min-height: 26px; }\n" +
           rule(IDC_REMEMBER_LABEL,
                ("label { " + field + "font-size: 13px; font-weight: 700; }").c_str());
}

GtkWidget* Place(GtkWidget* fixed, GtkWidget* widget, ControlId id, const DialogUnits& units) {
    DialogRect px = units.ToPixels(TemplateRect(id));
    gtk_widget_set_name(widget, ControlName(id).c_str());
    gtk_widget_set_size_request(widget, px.width, px.height);
    gtk_fixed_put(GTK_FIXED(fixed), widget, px.x, px.y);
    return widget;
}

}  // namespace

CPatchClientUIDlg::CPatchClientUIDlg(DialogArgs args, CommandSink& commands)
    : m_args(std::move(args)), m_commands(commands), m_navigator(*this, commands) {}

CPatchClientUIDlg::~CPatchClientUIDlg() {
    if (m_browser) m_browser->SetNavigator(nullptr);
    m_browser.reset();
    if (m_window) gtk_widget_destroy(m_window);
    if (m_css) {
        gtk_style_context_remove_provider_for_screen(gdk_screen_get_default(),
                                                     GTK_STYLE_PROVIDER(m_css));
        g_object_unref(m_css);
    }
    if (m_loop) g_main_loop_unref(m_loop);
}

void CPatchClientUIDlg::CreateControls() {
    m_css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(m_css, StyleSheet().c_str(), -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(m_css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    DialogUnits units = DialogUnits::ForFont(kButtonFace, kTemplatePoints);
    DialogRect size = units.ToPixels(kDialogSize);

    m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_set_name(m_window, "CPatchClientUIDlg");
    gtk_window_set_title(GTK_WINDOW(m_window), kTemplateCaption);
    gtk_window_set_resizable(GTK_WINDOW(m_window), FALSE);
    gtk_window_set_position(GTK_WINDOW(m_window), GTK_WIN_POS_CENTER);
    std::string icon =
        HY_OS::JoinPath(HY_OS::JoinPath(LibraryDirectory(), "resources"), "icon.png");
    if (!gtk_window_set_icon_from_file(GTK_WINDOW(m_window), icon.c_str(), nullptr))
        gtk_window_set_icon_name(GTK_WINDOW(m_window), "applications-games");
    g_signal_connect(m_window, "delete-event", G_CALLBACK(&CPatchClientUIDlg::OnDelete), this);
    GtkWidget* fixed = gtk_fixed_new();
    gtk_widget_set_size_request(fixed, size.width, size.height);
    gtk_container_add(GTK_CONTAINER(m_window), fixed);

    // Later children are drawn over earlier ones: the label lies under the web view, which
    // covers it once shown.
    m_loading = Place(fixed, gtk_label_new("Loading..."), IDC_LOADING, units);
    gtk_label_set_xalign(GTK_LABEL(m_loading), 0.5f);
    gtk_label_set_yalign(GTK_LABEL(m_loading), 0.0f);
    m_browser = std::make_unique<Browser>(m_args.webRoot);
    m_browser->SetNavigator(&m_navigator);
    Place(fixed, m_browser->Widget(), IDC_BROWSER, units);

    m_userName = std::make_unique<EditWithOverlay>(
        Place(fixed, gtk_entry_new(), IDC_USERNAME, units), false);
    m_password =
        std::make_unique<EditWithOverlay>(Place(fixed, gtk_entry_new(), IDC_PASSWORD, units), true);
    for (GtkWidget* entry : {m_userName->Widget(), m_password->Widget()}) {
        gtk_entry_set_width_chars(GTK_ENTRY(entry), 1);
        gtk_entry_set_has_frame(GTK_ENTRY(entry), TRUE);
    }
    m_fileBar = std::make_unique<BarWithOverlay>(
        Place(fixed, gtk_progress_bar_new(), IDC_FILE_PROGRESS, units));
    m_totalBar = std::make_unique<BarWithOverlay>(
        Place(fixed, gtk_progress_bar_new(), IDC_TOTAL_PROGRESS, units));
    m_settings = Place(fixed, gtk_button_new_with_label("Settings"), IDC_SETTINGS, units);
    m_login = Place(fixed, gtk_button_new_with_label("Login"), IDC_LOGIN, units);
    m_remember = Place(fixed, gtk_check_button_new(), IDC_REMEMBER, units);
    GtkWidget* label = gtk_label_new("Remember Username");
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    m_rememberLabel = Place(fixed, gtk_event_box_new(), IDC_REMEMBER_LABEL, units);
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(m_rememberLabel), FALSE);
    gtk_container_add(GTK_CONTAINER(m_rememberLabel), label);
    gtk_widget_add_events(m_rememberLabel, GDK_BUTTON_PRESS_MASK);

    g_signal_connect(m_login, "clicked", G_CALLBACK(&CPatchClientUIDlg::OnLoginClicked), this);
    g_signal_connect(m_settings, "clicked", G_CALLBACK(&CPatchClientUIDlg::OnSettingsClicked),
                     this);
    g_signal_connect(m_remember, "toggled", G_CALLBACK(&CPatchClientUIDlg::OnRememberToggled),
                     this);
    g_signal_connect(m_rememberLabel, "button-press-event",
                     G_CALLBACK(&CPatchClientUIDlg::OnRememberLabelClicked), this);

    gtk_widget_show_all(fixed);
    gtk_widget_hide(m_browser->Widget());  // hidden until the first page has loaded
}

void CPatchClientUIDlg::SetText(GtkWidget* widget, int stringId) {
    std::u16string text;
    if (!LanguageTable::Instance().Lookup(stringId, text)) return;
    std::string utf8 = Utf16ToUtf8(text);
    if (GTK_IS_BUTTON(widget)) {
        gtk_button_set_label(GTK_BUTTON(widget), utf8.c_str());
    } else if (GTK_IS_LABEL(widget)) {
        gtk_label_set_text(GTK_LABEL(widget), utf8.c_str());
    } else if (GTK_IS_BIN(widget)) {
        SetText(gtk_bin_get_child(GTK_BIN(widget)), stringId);
    }
}

bool CPatchClientUIDlg::RememberTicked() const {
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(m_remember));
}

void CPatchClientUIDlg::OnInitDialog() {
    m_commands.Send("PreInitDialog");
    m_rememberedName = UserNameStore(m_args.registryKey, m_commands).Load();
    m_userName->SetText(m_rememberedName);
    // The texts are applied in every case, so a first start (no key yet) shows the cues too.
    m_userName->SetCue(LanguageTable::Instance().Text(IDS_USERNAME_CUE));
    m_password->SetCue(LanguageTable::Instance().Text(IDS_PASSWORD_CUE));
    SetText(m_loading, IDS_LOADING);
    SetText(m_rememberLabel, IDS_REMEMBER_USERNAME);
    std::u16string total;
    if (LanguageTable::Instance().Lookup(IDS_TOTAL_PROGRESS, total)) m_totalBar->SetOverlay(total);
    gtk_window_set_title(GTK_WINDOW(m_window), "Larkspur");
    if (!m_rememberedName.empty())
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(m_remember), TRUE);

    if (!m_args.eulaUrl.empty()) {
        ShowEula();
    } else {
        ShowLoginControls();
        m_navigator.SetStaticTried();
        m_commands.Send("InitDialog");
    }
}

void CPatchClientUIDlg::RunModal() {
    m_loop = g_main_loop_new(nullptr, FALSE);
    CreateControls();
    OnInitDialog();
    gdk_event_handler_set(&CPatchClientUIDlg::OnEvent, this, nullptr);
    if (!m_quitPosted) {
        gtk_widget_show(m_window);
        gtk_window_present(GTK_WINDOW(m_window));
        g_main_loop_run(m_loop);
    }
    gdk_event_handler_set([](GdkEvent* event, gpointer) { gtk_main_do_event(event); }, nullptr,
                          nullptr);
    // The window's destruction saves the remembered name.
    SaveUserName();
}

void CPatchClientUIDlg::PostQuit() {
    m_quitPosted = true;
    if (m_loop && g_main_loop_is_running(m_loop)) g_main_loop_quit(m_loop);
}

void CPatchClientUIDlg::ShowEula() {
    m_mode = ModeEula;
    gtk_widget_show(m_loading);
    for (GtkWidget* w : {m_fileBar->Widget(), m_totalBar->Widget(), m_userName->Widget(),
                         m_password->Widget(), m_rememberLabel, m_remember})
        gtk_widget_hide(w);
    gtk_widget_show(m_login);
    gtk_widget_show(m_settings);
    SetText(m_login, IDS_ACCEPT);
    SetText(m_settings, IDS_DECLINE);
    if (!m_args.eulaUrl.empty()) m_navigator.GotoPage(m_args.eulaUrl, false);
}

void CPatchClientUIDlg::ShowLoginFields(bool show) {
    for (GtkWidget* field : {m_userName->Widget(), m_password->Widget()}) {
        gtk_widget_set_visible(field, show);
        gtk_widget_set_sensitive(field, show);
    }
    gtk_widget_set_visible(m_remember, show);
    gtk_widget_set_visible(m_rememberLabel, show);
}

void CPatchClientUIDlg::ShowLoginControls() {
    m_mode = ModeLogin;
    gtk_widget_show(m_loading);
    gtk_widget_hide(m_fileBar->Widget());
    gtk_widget_hide(m_totalBar->Widget());
    gtk_widget_show(m_login);
    gtk_widget_show(m_settings);
    m_userName->SetText(RememberTicked() ? m_rememberedName : u"");
    ShowLoginFields(true);
    m_password->SetText(u"");
    SetText(m_login, IDS_LOGIN);
    SetText(m_settings, IDS_SETTINGS);
    gtk_widget_set_sensitive(m_login, TRUE);
    gtk_widget_set_sensitive(m_remember, TRUE);
    bool toPassword = RememberTicked() && !m_userName->Text().empty();
    gtk_widget_grab_focus(toPassword ? m_password->Widget() : m_userName->Widget());
}

void CPatchClientUIDlg::ShowProgressControls() {
    if (m_mode == ModeProgress) return;
    m_mode = ModeProgress;
    gtk_widget_hide(m_loading);
    ShowLoginFields(false);
    gtk_widget_set_sensitive(m_remember, FALSE);
    m_rememberedName = RememberTicked() ? m_userName->Text() : u"";
    SetText(m_login, IDS_PLAY);
    SetText(m_settings, IDS_SETTINGS);
    gtk_widget_set_sensitive(m_login, FALSE);
    gtk_widget_show(m_login);
    for (BarWithOverlay* bar : {m_fileBar.get(), m_totalBar.get()}) {
        bar->SetPosition(0);
        gtk_widget_show(bar->Widget());
    }
}

void CPatchClientUIDlg::GetUserNameAndPassword(std::u16string& userName, std::u16string& password) {
    std::u16string name = m_userName->Text();
    std::u16string secret = m_password->Text();
    // The launcher reserves the room it accepts; longer texts are cut to it.
    userName = name.substr(0, userName.capacity());
    m_rememberedName = RememberTicked() ? name : u"";
    password = secret.substr(0, password.capacity());
    SaveUserName();
}

void CPatchClientUIDlg::SaveUserName() {
    m_rememberedName = RememberTicked() ? m_userName->Text() : u"";
    UserNameStore(m_args.registryKey, m_commands).Save(m_rememberedName);
}

void CPatchClientUIDlg::ReportFileProgress(const char* fileName, unsigned percent, bool done) {
    std::u16string prefix = LanguageTable::Instance().Text(done ? IDS_SCANNING : IDS_PATCHING);
    m_fileBar->SetOverlay(FileProgressText(prefix, AnsiToUtf16(fileName ? fileName : "")));
    m_fileBar->SetPosition(percent);
}

void CPatchClientUIDlg::ReportTotalProgress(unsigned percent) { m_totalBar->SetPosition(percent); }

void CPatchClientUIDlg::SetFileOverlay(int stringId) {
    m_fileBar->SetOverlay(LanguageTable::Instance().Text(stringId));
}
void CPatchClientUIDlg::SetTotalOverlay(int stringId) {
    m_totalBar->SetOverlay(LanguageTable::Instance().Text(stringId));
}
void CPatchClientUIDlg::ClearFileOverlay() { m_fileBar->SetOverlay(u""); }

void CPatchClientUIDlg::ReadyToPlay() {
    gtk_widget_set_sensitive(m_login, TRUE);
    m_playReady = true;
}

void CPatchClientUIDlg::HideWindow() {
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item; item = item->next) gtk_widget_hide(GTK_WIDGET(item->data));
    g_list_free(windows);
    if (GdkWindow* window = gtk_widget_get_window(m_window)) gdk_window_lower(window);
}

void CPatchClientUIDlg::Navigate(const std::string& address) { m_browser->Navigate(address); }
void CPatchClientUIDlg::Refresh() { m_browser->Refresh(); }

void CPatchClientUIDlg::ShowBrowser() {
    gtk_widget_show(m_browser->Widget());
    gtk_widget_hide(m_loading);
}

void CPatchClientUIDlg::FillLoginFields(const std::u16string& account,
                                        const std::u16string& password) {
    m_userName->SetText(account);
    m_password->SetText(password);
}

bool CPatchClientUIDlg::OpenExternally(const std::string& address) {
    if (Hooks().openUrl) return Hooks().openUrl(address.c_str(), Hooks().openUrlContext);
    return OpenWithSystemBrowser(address.c_str());
}

void CPatchClientUIDlg::LoginAction() {
    if (m_mode == ModeEula) {
        m_commands.Send("InitDialog");
        ShowLoginControls();
    } else if (m_mode == ModeLogin || m_mode == ModeProgress) {
        m_navigator.ResetFallback();
        m_commands.Send(m_playReady ? "Play" : "Login");
    }
}

void CPatchClientUIDlg::SettingsAction() {
    if (m_mode == ModeEula) {
        PostQuit();  // Decline: the window ends without a command
    } else if (m_mode == ModeLogin || m_mode == ModeProgress) {
        m_commands.Send("ClickConfig");
    }
}

bool CPatchClientUIDlg::PreTranslate(GdkEvent* event) {
    if (event->type == GDK_SCROLL) return false;
    if (event->type != GDK_KEY_PRESS && event->type != GDK_KEY_RELEASE) return true;
    guint key = event->key.keyval;
    bool press = event->type == GDK_KEY_PRESS;
    if (key == GDK_KEY_Escape || key == GDK_KEY_Alt_L || key == GDK_KEY_Alt_R) return false;
    if (key == GDK_KEY_space && m_playReady && press) LoginAction();
    if (key == GDK_KEY_Return || key == GDK_KEY_KP_Enter || key == GDK_KEY_ISO_Enter) {
        if (press) {
            GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(m_window));
            bool inField = focus == m_userName->Widget() || focus == m_password->Widget();
            bool onLogin = focus == m_login && gtk_widget_is_sensitive(m_login);
            if (inField || onLogin || m_playReady) LoginAction();
        }
        return false;
    }
    return true;
}

void CPatchClientUIDlg::OnEvent(GdkEvent* event, gpointer self) {
    auto* dialog = static_cast<CPatchClientUIDlg*>(self);
    GdkWindow* window = event->any.window;
    GdkWindow* own = dialog->m_window ? gtk_widget_get_window(dialog->m_window) : nullptr;
    bool ours = window && own && gdk_window_get_toplevel(window) == own;
    if (ours && !dialog->PreTranslate(event)) return;
    gtk_main_do_event(event);
    if (event->type == GDK_KEY_PRESS || event->type == GDK_BUTTON_RELEASE)
        TickSource::Instance().TickSoon();
}

gboolean CPatchClientUIDlg::OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
    auto* dialog = static_cast<CPatchClientUIDlg*>(self);
    // The launcher decides: it normally leaves the window open and ends it later.
    bool handled = dialog->m_commands.Send("OnClose");
    if (handled) dialog->PostQuit();
    return TRUE;
}

void CPatchClientUIDlg::OnLoginClicked(GtkButton*, gpointer self) {
    static_cast<CPatchClientUIDlg*>(self)->LoginAction();
}
void CPatchClientUIDlg::OnSettingsClicked(GtkButton*, gpointer self) {
    static_cast<CPatchClientUIDlg*>(self)->SettingsAction();
}

void CPatchClientUIDlg::OnRememberToggled(GtkToggleButton*, gpointer self) {
    auto* dialog = static_cast<CPatchClientUIDlg*>(self);
    dialog->m_rememberedName = dialog->RememberTicked() ? dialog->m_userName->Text() : u"";
}

gboolean CPatchClientUIDlg::OnRememberLabelClicked(GtkWidget*, GdkEventButton* event,
                                                   gpointer self) {
    auto* dialog = static_cast<CPatchClientUIDlg*>(self);
    if (event->type != GDK_BUTTON_PRESS || !gtk_widget_is_sensitive(dialog->m_remember))
        return FALSE;
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(dialog->m_remember), !dialog->RememberTicked());
    return TRUE;
}

}  // namespace LarkUi
