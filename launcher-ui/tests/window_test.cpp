// The launcher window on a display: every export's effect read back from the widgets, input
// synthesised through the X server, screenshots of each mode.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>

#include "DialogTemplate.h"
#include "FontFiles.h"
#include "OsFile.h"
#include "TempDir.h"
#include "UserRegistryStore.h"
#include "test_server.h"
#include "window_host.h"

namespace uitest {

using namespace LarkUi;

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!WindowHost::HaveDisplay()) {
            GTEST_SKIP() << "no display could be opened: the window tests need one (xvfb-run)";
        }
        host = &WindowHost::Get();
        ASSERT_NE(host->ShowUI, nullptr);
        host->ClearRecords();
        host->handled.clear();
        host->onCommand = nullptr;
        host->openSucceeds = true;
        setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
        ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
        ASSERT_EQ(::chdir(work.Path().c_str()), 0);
    }
    void TearDown() override {
        if (previous[0]) {
            ASSERT_EQ(::chdir(previous), 0);
        }
    }
    std::string Remembered() {
        std::string value = "<none>";
        UserRegistryStore(UserRegistryStore::DefaultPath()).ReadString(kKey, "UserName", value);
        return value;
    }

    static constexpr const char* kKey = "Software\\Halcyra\\Larkspur";
    WindowHost* host = nullptr;
    hytest::TempDir config;
    hytest::TempDir work;
    char previous[4096] = {};
    TestServer server;
};

// Fraction of pixels that differ by more than a small amount in any channel.
double Difference(const std::string& a, const std::string& b, std::string& why) {
    GdkPixbuf* x = gdk_pixbuf_new_from_file(a.c_str(), nullptr);
    GdkPixbuf* y = gdk_pixbuf_new_from_file(b.c_str(), nullptr);
    double result = 1.0;
    if (!x || !y) {
        why = "cannot read " + std::string(!x ? a : b);
    } else if (gdk_pixbuf_get_width(x) != gdk_pixbuf_get_width(y) ||
               gdk_pixbuf_get_height(x) != gdk_pixbuf_get_height(y)) {
        why = "sizes differ";
    } else {
        int w = gdk_pixbuf_get_width(x), h = gdk_pixbuf_get_height(x),
            n = gdk_pixbuf_get_n_channels(x);
        int m = gdk_pixbuf_get_n_channels(y);
        long differing = 0;
        for (int r = 0; r < h; ++r) {
            const guchar* p = gdk_pixbuf_get_pixels(x) + r * gdk_pixbuf_get_rowstride(x);
            const guchar* q = gdk_pixbuf_get_pixels(y) + r * gdk_pixbuf_get_rowstride(y);
            for (int c = 0; c < w; ++c)
                for (int k = 0; k < 3; ++k)
                    if (std::abs(p[c * n + k] - q[c * m + k]) > 40) {
                        ++differing;
                        break;
                    }
        }
        result = static_cast<double>(differing) / (w * h);
    }
    if (x) g_object_unref(x);
    if (y) g_object_unref(y);
    return result;
}

TEST_F(WindowTest, ShowsTheTemplateAndEveryExportActsOnItsControls) {
    EXPECT_NE(host->SetTickWaitSource, nullptr);
    ::mkdir("LarkLauncher", 0755);
    std::ofstream("LarkLauncher/English.lang") << "header\n116\n-\nAll of it\n";
    host->Initialize("LarkLauncher", "English");
    host->RunWindow("", [&] {
        EXPECT_EQ(host->commands,
                  (std::vector<std::string>{
                      "PreInitDialog",
                      "Log|Error|Error in trying to access the user name registry. Code: 0x2",
                      "InitDialog"}));
        GtkWidget* window = MainWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window)), "Larkspur");
        // The template's size in dialog units of the "Lark Fancy" 10-point font.
        DialogRect size = DialogUnits::ForFont(kButtonFace, kTemplatePoints).ToPixels(kDialogSize);
        EXPECT_EQ(gtk_widget_get_allocated_width(gtk_bin_get_child(GTK_BIN(window))), size.width);
        EXPECT_EQ(gtk_widget_get_allocated_height(gtk_bin_get_child(GTK_BIN(window))), size.height);
        EXPECT_GT(size.width, 375) << "the font's character width exceeds 4 pixels";

        // Login mode: fields, check box, Login and Settings; bars hidden; browser hidden until a
        // page loads.
        EXPECT_TRUE(Visible(IDC_USERNAME) && Visible(IDC_PASSWORD) && Visible(IDC_REMEMBER) &&
                    Visible(IDC_REMEMBER_LABEL));
        EXPECT_FALSE(Visible(IDC_FILE_PROGRESS) || Visible(IDC_TOTAL_PROGRESS) ||
                     Visible(IDC_BROWSER));
        EXPECT_TRUE(Visible(IDC_LOADING));
        EXPECT_EQ(ButtonText(IDC_LOGIN), "Login");
        EXPECT_EQ(ButtonText(IDC_SETTINGS), "Settings");
        EXPECT_EQ(EntryText(IDC_PASSWORD), "Password...") << "the cue of a field without focus";

        host->GotoPage(server.Url("/news"), false);
        EXPECT_TRUE(PumpUntil([] { return Visible(IDC_BROWSER); }));
        EXPECT_FALSE(Visible(IDC_LOADING));
        EXPECT_TRUE(host->Received("Log|Status|Web page " + server.Url("/news") +
                                   " document has completed loading"));
        std::string shot = SaveScreenshot("login");
        ASSERT_FALSE(shot.empty());
        std::string why;
        double diff = Difference(shot, std::string(REFERENCE_DIR) + "/login.png", why);
        EXPECT_LT(diff, 0.03) << why << " (compare " << shot << " with the reference)";

        host->ShowProgressControls();
        EXPECT_TRUE(Visible(IDC_FILE_PROGRESS) && Visible(IDC_TOTAL_PROGRESS));
        EXPECT_FALSE(Visible(IDC_USERNAME) || Visible(IDC_PASSWORD) || Visible(IDC_REMEMBER));
        EXPECT_EQ(ButtonText(IDC_LOGIN), "PLAY!");
        EXPECT_FALSE(Sensitive(IDC_LOGIN));
        EXPECT_EQ(BarOverlay(IDC_TOTAL_PROGRESS), "All of it")
            << "string 116 from the language file";
        host->ReportFileProgress("Data/GameData/Root.wad.x1", 30, false);  // 25 characters
        EXPECT_EQ(BarOverlay(IDC_FILE_PROGRESS), "Patching : Data/GameData/Root.wad.x1");
        EXPECT_EQ(BarPercent(IDC_FILE_PROGRESS), 30);
        host->ReportFileProgress("Data/GameData/Root.wad.x12", 100, true);  // 26 characters
        EXPECT_EQ(BarOverlay(IDC_FILE_PROGRESS), "Scanning : ...ata/GameData/Root.wad.x12");
        host->ReportTotalProgress(40);
        EXPECT_EQ(BarPercent(IDC_TOTAL_PROGRESS), 40);
        host->ShowProgressControls();  // again: nothing changes
        EXPECT_EQ(BarPercent(IDC_TOTAL_PROGRESS), 40);
        host->ConnectToLogin();
        EXPECT_EQ(BarOverlay(IDC_FILE_PROGRESS), "Logging in...");
        host->PatchingPatchClient();
        EXPECT_EQ(BarOverlay(IDC_FILE_PROGRESS), "Connecting to Patch Server...");
        host->LaunchingNewPatchClient();
        EXPECT_EQ(BarOverlay(IDC_FILE_PROGRESS), "Launching New Patch Client...");
        SaveScreenshot("progress");
        host->LaunchingGameClient();
        EXPECT_EQ(BarOverlay(IDC_TOTAL_PROGRESS), "Download Complete!");
        EXPECT_EQ(BarOverlay(IDC_FILE_PROGRESS), "");
        host->HomeButtonFocus();

        host->ClearRecords();
        host->ReadyToPlay();
        EXPECT_TRUE(Sensitive(IDC_LOGIN));
        ClickWidget(Control(IDC_LOGIN));
        EXPECT_TRUE(PumpUntil([&] { return host->Received("Play"); }));
        SaveScreenshot("ready");

        host->ShowLoginControls();
        EXPECT_TRUE(Visible(IDC_USERNAME) && Visible(IDC_LOADING));
        EXPECT_EQ(ButtonText(IDC_LOGIN), "Login");
        EXPECT_TRUE(Sensitive(IDC_LOGIN));

        host->HideWindow();
        EXPECT_FALSE(gtk_widget_get_visible(window));
    });
    EXPECT_EQ(MainWindow(), nullptr) << "the window is gone once IFnShowUI has returned";
}

TEST_F(WindowTest, TypingAndClickingSendTheCommandsAndCuesFollowTheFocus) {
    host->RunWindow("", [&] {
        ASSERT_TRUE(PumpUntil([] { return gtk_widget_has_focus(Control(IDC_USERNAME)); }))
            << "the account field has the focus at start";
        EXPECT_EQ(EntryText(IDC_USERNAME), "") << "the cue leaves a focused field";
        EXPECT_EQ(EntryText(IDC_PASSWORD), "Password...");
        TypeText("al ice");
        EXPECT_TRUE(PumpUntil([] { return EntryText(IDC_USERNAME) == "alice"; }))
            << "spaces never reach the field";
        ClickWidget(Control(IDC_PASSWORD));
        EXPECT_TRUE(PumpUntil([] { return EntryText(IDC_PASSWORD).empty(); }))
            << "the cue leaves on focus";
        EXPECT_FALSE(gtk_entry_get_visibility(GTK_ENTRY(Control(IDC_PASSWORD))));
        TypeText("s3 cret");
        EXPECT_TRUE(PumpUntil([] { return EntryText(IDC_PASSWORD) == "s3cret"; }));
        PressKey("Escape");
        PressKey("Return");
        EXPECT_TRUE(PumpUntil([&] { return host->commands.back() == "Login"; }))
            << "Enter in the password field";
        std::u16string name, password;
        name.reserve(512);
        password.reserve(512);
        host->GetUserNameAndPassword(name, password);
        EXPECT_EQ(name, u"alice");
        EXPECT_EQ(password, u"s3cret");
        EXPECT_EQ(Remembered(), "") << "not ticked: an empty name is remembered";

        ClickWidget(Control(IDC_REMEMBER_LABEL));
        EXPECT_TRUE(PumpUntil(
            [] { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(Control(IDC_REMEMBER))); }));
        host->GetUserNameAndPassword(name, password);
        EXPECT_EQ(Remembered(), "alice") << "ticked: written at once";

        ClickWidget(Control(IDC_SETTINGS));
        EXPECT_TRUE(PumpUntil([&] { return host->commands.back() == "ClickConfig"; }));

        // Emptied and left, the account field shows its cue again.
        gtk_entry_set_text(GTK_ENTRY(Control(IDC_USERNAME)), "");
        ClickWidget(Control(IDC_USERNAME));
        ClickWidget(Control(IDC_PASSWORD));
        EXPECT_TRUE(PumpUntil([] { return EntryText(IDC_USERNAME) == "Username..."; }));
        EXPECT_EQ(EntryText(IDC_PASSWORD), "s3cret");

        size_t before = host->commands.size();
        gtk_window_close(GTK_WINDOW(MainWindow()));
        EXPECT_TRUE(PumpUntil([&] { return host->commands.size() > before; }));
        PumpFor(200);
        EXPECT_EQ(host->commands.size(), before + 1);
        EXPECT_EQ(host->commands.back(), "OnClose");
        EXPECT_TRUE(gtk_widget_get_visible(MainWindow()))
            << "the launcher closes the window, not the close box";
        ClickWidget(Control(IDC_USERNAME));
        TypeText("bob");
        EXPECT_TRUE(PumpUntil([] { return EntryText(IDC_USERNAME) == "bob"; }));
    });
    EXPECT_EQ(Remembered(), "bob") << "saved again when the window ends";

    // The next start shows the remembered name, ticked, and the focus in the password field.
    host->ClearRecords();
    host->RunWindow("", [&] {
        EXPECT_EQ(EntryText(IDC_USERNAME), "bob");
        EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(Control(IDC_REMEMBER))));
        EXPECT_TRUE(PumpUntil([] { return gtk_widget_has_focus(Control(IDC_PASSWORD)); }));
    });
}

TEST_F(WindowTest, TheEulaOffersAcceptAndDecline) {
    host->RunWindow(server.Url("/eula"), [&] {
        EXPECT_EQ(host->Actions(), std::vector<std::string>{"PreInitDialog"})
            << "nothing but PreInitDialog before Accept";
        EXPECT_EQ(ButtonText(IDC_LOGIN), "Accept");
        EXPECT_EQ(ButtonText(IDC_SETTINGS), "Decline");
        EXPECT_FALSE(Visible(IDC_USERNAME) || Visible(IDC_PASSWORD) || Visible(IDC_FILE_PROGRESS) ||
                     Visible(IDC_REMEMBER));
        EXPECT_TRUE(PumpUntil([] { return Visible(IDC_BROWSER); }));
        SaveScreenshot("eula");
        ClickWidget(Control(IDC_LOGIN));
        EXPECT_TRUE(PumpUntil([&] { return host->commands.back() == "InitDialog"; }));
        EXPECT_TRUE(Visible(IDC_USERNAME));
        EXPECT_EQ(ButtonText(IDC_LOGIN), "Login");
    });

    host->ClearRecords();
    bool ended = false;
    host->RunWindow(server.Url("/eula"), [&] {
        ClickWidget(Control(IDC_SETTINGS));
        ended = PumpUntil(
            [] { return MainWindow() == nullptr || !gtk_widget_get_visible(MainWindow()); }, 300);
        host->ClearRecords();
    });
    EXPECT_TRUE(host->commands.empty()) << "Decline sends nothing";
}

TEST_F(WindowTest, KeysTheWindowIgnoresAndTheSpaceThatPlays) {
    host->RunWindow("", [&] {
        ASSERT_TRUE(PumpUntil([] { return gtk_widget_has_focus(Control(IDC_USERNAME)); }));
        host->ClearRecords();
        PressKey("Escape");
        PressKey("Alt_L");
        PressKey("space");
        TypeText("x");  // once it arrives, the keys before it have been handled
        EXPECT_TRUE(PumpUntil([] { return EntryText(IDC_USERNAME) == "x"; }));
        EXPECT_TRUE(host->commands.empty()) << "before ready, Escape, Alt and Space send nothing";
        EXPECT_TRUE(gtk_widget_get_visible(MainWindow()));
        host->ShowProgressControls();
        host->ReadyToPlay();
        PressKey("space");
        EXPECT_TRUE(PumpUntil([&] { return !host->commands.empty(); }));
        EXPECT_EQ(host->commands, std::vector<std::string>{"Play"});
        PressKey("Return");
        EXPECT_TRUE(PumpUntil([&] { return host->commands.size() == 2; }));
        EXPECT_EQ(host->commands.back(), "Play") << "Enter plays anywhere once ready";
    });
}

TEST_F(WindowTest, TicksWaitForTheLaunchersDescriptorAndTimer) {
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    // The launcher's next timer: milliseconds until a deadline, or none.
    struct Timer {
        gint64 due = -1;
    } timer;
    host->RunWindow("", [&] {
        EXPECT_TRUE(PumpUntil([&] { return host->ticks > 0; }))
            << "without a wait source the window ticks when idle";
        TickWaitSource source;
        source.descriptor = pipeEnds[0];
        source.timeoutMs = [](void* context) {
            gint64 due = static_cast<Timer*>(context)->due;
            return due < 0 ? -1
                           : static_cast<int>(
                                 std::max<gint64>(0, (due - g_get_monotonic_time()) / 1000));
        };
        source.context = &timer;
        host->SetTickWaitSource(source);
        host->ticks = 0;
        PumpFor(300);
        EXPECT_EQ(host->ticks, 0) << "nothing ready, no timer: no Tick";
        ASSERT_EQ(::write(pipeEnds[1], "x", 1), 1);
        EXPECT_TRUE(PumpUntil([&] { return host->ticks > 0; })) << "a ready descriptor ticks";
        char byte;
        ASSERT_EQ(::read(pipeEnds[0], &byte, 1), 1);
        host->ticks = 0;
        timer.due = g_get_monotonic_time() + 50000;
        EXPECT_TRUE(PumpUntil([&] { return host->ticks > 0; })) << "a due timer ticks";
        timer.due = -1;
        PumpFor(100);
        host->ticks = 0;
        ClickWidget(Control(IDC_PASSWORD));
        EXPECT_TRUE(PumpUntil([&] { return host->ticks > 0; })) << "user input ticks";
        host->SetTickWaitSource(TickWaitSource{});
    });
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

TEST_F(WindowTest, AStoreThatCannotBeReadIsReportedAndTheWindowWorksOn) {
    std::string store = UserRegistryStore::DefaultPath();
    ::mkdir(HY_OS::DirectoryPart(store).c_str(), 0755);
    std::ofstream(store) << "not a store line\n";
    host->RunWindow("", [&] {
        EXPECT_TRUE(host->Received(
            "Log|Error|User Name registry entries could not be accessed.The user may not "
            "be having administrative privileges"));
        EXPECT_EQ(EntryText(IDC_PASSWORD), "Password...");
        EXPECT_EQ(host->Actions().back(), "InitDialog");
    });
    EXPECT_TRUE(
        host->Received("Log|Error|User name registry entry could not be created.The user may not "
                       "be having administrative privileges"))
        << "saving at the end fails the same way";
    std::string content;
    ASSERT_TRUE(HY_OS::ReadWholeFile(store, content));
    EXPECT_EQ(content, "not a store line\n") << "a store that cannot be read is never overwritten";
}

TEST_F(WindowTest, AlreadyRunningShowsString103) {
    std::string text;
    g_timeout_add(
        200,
        [](gpointer data) -> gboolean {
            GList* windows = gtk_window_list_toplevels();
            for (GList* item = windows; item; item = item->next) {
                if (GTK_IS_MESSAGE_DIALOG(item->data)) {
                    GValue value = G_VALUE_INIT;
                    g_value_init(&value, G_TYPE_STRING);
                    g_object_get_property(G_OBJECT(item->data), "text", &value);
                    *static_cast<std::string*>(data) = g_value_get_string(&value);
                    g_value_unset(&value);
                    gtk_dialog_response(GTK_DIALOG(item->data), GTK_RESPONSE_OK);
                }
            }
            g_list_free(windows);
            return G_SOURCE_REMOVE;
        },
        &text);
    host->AlreadyRunning();
    EXPECT_EQ(text.rfind("Larkspur is already running on your computer.", 0), 0u) << text;
}

TEST(WindowWithoutDisplay, ReportsTheFailureInsteadOfAborting) {
    std::FILE* probe = ::popen(NO_DISPLAY_PROBE " 2>/dev/null", "r");
    ASSERT_NE(probe, nullptr);
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, probe)) output += buffer;
    EXPECT_EQ(::pclose(probe), 0);
    EXPECT_EQ(
        output,
        "Log|Error|The launcher window cannot be shown: no display could be opened\nreturned\n");
}

}  // namespace uitest
