#include "window_host.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace uitest {

namespace {

template <typename F>
void Bind(void* handle, F*& function, const char* symbol) {
    function = reinterpret_cast<F*>(dlsym(handle, symbol));
    if (function == nullptr) ADD_FAILURE() << "export missing: " << symbol;
}

void CollectByName(GtkWidget* widget, const std::string& name, GtkWidget*& found) {
    if (found) return;
    if (name == gtk_widget_get_name(widget)) {
        found = widget;
        return;
    }
    if (GTK_IS_CONTAINER(widget)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* item = children; item; item = item->next)
            CollectByName(GTK_WIDGET(item->data), name, found);
        g_list_free(children);
    }
}

GtkWidget* FindByName(const std::string& name) {
    GtkWidget* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item; item = item->next)
        CollectByName(GTK_WIDGET(item->data), name, found);
    g_list_free(windows);
    return found;
}

void Run(const std::string& command) {
    int status = std::system(command.c_str());
    EXPECT_EQ(status, 0) << command;
}

}  // namespace

bool WindowHost::HaveDisplay() {
    static int state = -1;
    if (state < 0) {
        // Software drawing: the display is a virtual frame buffer without GPU.
        setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
        state = gtk_init_check(nullptr, nullptr) ? 1 : 0;
    }
    return state == 1;
}

WindowHost& WindowHost::Get() {
    static WindowHost host;
    return host;
}

WindowHost::WindowHost() {
    m_handle = dlopen(LARK_UI_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        ADD_FAILURE() << "cannot load " << LARK_UI_LIBRARY << ": " << dlerror();
        return;
    }
    using namespace WindowExportSymbols;
    Bind(m_handle, AlreadyRunning, kAlreadyRunning);
    Bind(m_handle, Initialize, kInitialize);
    Bind(m_handle, ShowUI, kShowUI);
    Bind(m_handle, GotoPage, kGotoPage);
    Bind(m_handle, GetUserNameAndPassword, kGetUserNameAndPassword);
    Bind(m_handle, ShowLoginControls, kShowLoginControls);
    Bind(m_handle, ShowProgressControls, kShowProgressControls);
    Bind(m_handle, ReportFileProgress, kReportFileProgress);
    Bind(m_handle, ReportTotalProgress, kReportTotalProgress);
    Bind(m_handle, ConnectToLogin, kConnectToLogin);
    Bind(m_handle, PatchingPatchClient, kPatchingPatchClient);
    Bind(m_handle, LaunchingNewPatchClient, kLaunchingNewPatchClient);
    Bind(m_handle, LaunchingGameClient, kLaunchingGameClient);
    Bind(m_handle, ReadyToPlay, kReadyToPlay);
    Bind(m_handle, HideWindow, kHideWindow);
    Bind(m_handle, PostQuitMessage, kPostQuitMessage);
    Bind(m_handle, HomeButtonFocus, kHomeButtonFocus);
    Bind(m_handle, SetTickWaitSource, kSetTickWaitSource);
    Bind(m_handle, SetHooks, "LarkUiSetHooks");
    m_delegate.object = this;
    m_delegate.function = &WindowHost::OnCommand;
    if (SetHooks) {
        LarkUi::UiHooks hooks;
        hooks.openUrl = &WindowHost::OnOpen;
        hooks.openUrlContext = this;
        hooks.pageTimeoutMs = 3000;
        SetHooks(&hooks);
    }
}

void WindowHost::OnCommand(void* self, ExeParams& params) {
    auto* host = static_cast<WindowHost*>(self);
    std::string command = params.command;
    if (command == "Tick") {
        // As the launcher does, one millisecond of sleep per Tick.
        ++host->ticks;
        g_usleep(1000);
        return;
    }
    host->commands.push_back(command);
    auto answer = host->handled.find(command);
    params.handled = answer != host->handled.end() ? answer->second : command != "OnClose";
    if (host->onCommand) host->onCommand(command);
}

bool WindowHost::OnOpen(const char* address, void* self) {
    auto* host = static_cast<WindowHost*>(self);
    host->opened.push_back(address);
    return host->openSucceeds;
}

bool WindowHost::Received(const std::string& command) const {
    for (const std::string& c : commands)
        if (c == command) return true;
    return false;
}

void WindowHost::RunWindow(const std::string& eulaUrl, const std::function<void()>& body,
                           const std::string& registryKey) {
    struct Script {
        WindowHost* host;
        const std::function<void()>* body;
    } script{this, &body};
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            auto* s = static_cast<Script*>(data);
            (*s->body)();
            s->host->PostQuitMessage();
            return G_SOURCE_REMOVE;
        },
        &script, nullptr);
    ShowUI("skin.xml", 0, false, registryKey, eulaUrl, &m_delegate);
}

std::vector<std::string> WindowHost::Actions() const {
    std::vector<std::string> out;
    for (const std::string& c : commands)
        if (c.rfind("Log|", 0) != 0) out.push_back(c);
    return out;
}

bool PumpUntil(const std::function<bool()>& done, int limitMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done() && std::chrono::steady_clock::now() < end) {
        // Never block for good: a short timer wakes the loop to look at the clock again.
        guint timer = 0;
        timer = g_timeout_add(
            20,
            [](gpointer p) -> gboolean {
                *static_cast<guint*>(p) = 0;
                return G_SOURCE_REMOVE;
            },
            &timer);
        g_main_context_iteration(nullptr, TRUE);
        if (timer) g_source_remove(timer);
    }
    return done();
}

void PumpFor(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    PumpUntil([&] { return std::chrono::steady_clock::now() >= end; }, ms + 1000);
}

GtkWidget* MainWindow() { return FindByName("CPatchClientUIDlg"); }
GtkWidget* Control(int id) { return FindByName("ctl" + std::to_string(id)); }

std::string EntryText(int id) {
    GtkWidget* w = Control(id);
    return w ? gtk_entry_get_text(GTK_ENTRY(w)) : "<none>";
}

std::string ButtonText(int id) {
    GtkWidget* w = Control(id);
    return w ? gtk_button_get_label(GTK_BUTTON(w)) : "<none>";
}

bool Visible(int id) {
    GtkWidget* w = Control(id);
    return w && gtk_widget_get_visible(w);
}

bool Sensitive(int id) {
    GtkWidget* w = Control(id);
    return w && gtk_widget_is_sensitive(w);
}

std::string BarOverlay(int id) {
    GtkWidget* w = Control(id);
    const char* text = w ? atk_object_get_description(gtk_widget_get_accessible(w)) : nullptr;
    return text ? text : "";
}

int BarPercent(int id) {
    GtkWidget* w = Control(id);
    return w ? static_cast<int>(gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(w)) * 100 + 0.5)
             : -1;
}

std::string SaveScreenshot(const std::string& name) {
    PumpFor(400);  // let drawing settle
    GtkWidget* window = MainWindow();
    if (window == nullptr || gtk_widget_get_window(window) == nullptr) return {};
    GdkWindow* gdk = gtk_widget_get_window(window);
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk, 0, 0, gdk_window_get_width(gdk),
                                                 gdk_window_get_height(gdk));
    if (shot == nullptr) return {};
    std::filesystem::create_directories(SCREENSHOT_DIR);
    std::string path = std::string(SCREENSHOT_DIR) + "/" + name + ".png";
    gdk_pixbuf_save(shot, path.c_str(), "png", nullptr, nullptr);
    g_object_unref(shot);
    return path;
}

void ClickWidget(GtkWidget* widget, int x, int y) {
    PumpFor(100);
    GdkWindow* gdk = gtk_widget_get_window(widget);
    int ox = 0, oy = 0;
    gdk_window_get_origin(gdk, &ox, &oy);
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    if (!gtk_widget_get_has_window(widget)) {
        ox += a.x;
        oy += a.y;
    }
    int px = ox + (x >= 0 ? x : a.width / 2);
    int py = oy + (y >= 0 ? y : a.height / 2);
    Run("xdotool mousemove --sync " + std::to_string(px) + " " + std::to_string(py) + " click 1");
    PumpFor(150);
}

void TypeText(const std::string& text) {
    Run("xdotool type --delay 20 '" + text + "'");
    PumpFor(150);
}

void PressKey(const std::string& key) {
    Run("xdotool key " + key);
    PumpFor(150);
}

}  // namespace uitest
