#include "HostApp.h"

#include <glib-unix.h>
#include <gtk/gtk.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "ExitGuard.h"
#include "HelperServer.h"
#include "HostCommands.h"
#include "HostEnvironment.h"
#include "HostSetup.h"
#include "HostWindows.h"
#include "LauncherLog.h"
#include "LogMessage.h"
#include "MainThread.h"
#include "MoveActionsGtk.h"
#include "MoveToApplications.h"
#include "OpenPanel.h"
#include "PTServer.h"
#include "ProxyWatcher.h"
#include "RecentMenu.h"
#include "RunCommandWindow.h"
#include "WineLoader.h"

namespace larkhost {
namespace {

constexpr const char* kCategory = "HOST";
constexpr const char* kAppName = "Larkspur";
constexpr const char* kVersion = "1.0";

std::string StateDirectory() {
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string base =
        state != nullptr && *state == '/' ? state : std::string(g_get_home_dir()) + "/.local/state";
    return base + "/Larkspur";
}

// The portable copy this host runs from: the AppImage file, or an installation folder marked
// as portable. Installed copies (a distribution package) are never offered for moving.
std::string PortableCopy(const std::string& porticoRoot) {
    if (const char* appImage = std::getenv("APPIMAGE"); appImage != nullptr && *appImage == '/')
        return appImage;
    std::string prefix = std::filesystem::path(porticoRoot).parent_path().parent_path().string();
    std::error_code ec;
    return std::filesystem::exists(prefix + "/.larkspur-portable", ec) ? prefix : std::string();
}

struct HostContext {
    HostCommandLine commandLine;
    std::string porticoRoot;
    GApplication* app = nullptr;
    bool gui = false;
    std::unique_ptr<HostDefaults> defaults;
    std::unique_ptr<HostUi> ui;
    std::unique_ptr<PythonSetup> python;
    std::shared_ptr<WineLoader> loader;
    std::unique_ptr<PTServer> server;
    std::unique_ptr<RunCommandWindow> runCommand;
    std::unique_ptr<OpenPanel> openPanel;
    std::unique_ptr<HelperServer> helper;
    std::unique_ptr<RecentMenu> recentMenu;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    int status = 0;
    bool quitRequested = false;
};

void ShowRunCommandWindow(HostContext* ctx) {
    if (!ctx->runCommand) {
        PythonSetup* python = ctx->python.get();
        ctx->runCommand = std::make_unique<RunCommandWindow>(
            ctx->porticoRoot, *ctx->defaults, python->Bottles(),
            [python](const std::string& text) { return python->SplitCommandLine(text); });
    }
    ctx->runCommand->Show();
}

// The Open panel with its bottle chooser; a panel still open is brought to the front, a new one
// lists the bottles as they are now.
void ShowOpenPanel(HostContext* ctx) {
    if (ctx->openPanel && gtk_widget_get_visible(ctx->openPanel->Dialog())) {
        ctx->openPanel->Show();
        return;
    }
    ctx->openPanel = std::make_unique<OpenPanel>(
        ctx->python->Bottles(), [ctx](const std::string& path, const std::string& bottle) {
            ctx->server->RunClient(path, bottle);
        });
    ctx->openPanel->Show();
}

// The application's menu: every title is a format taking the application's name. Until start-up
// has enabled the menus only the Help items work (HostUi::SetMenusEnabled).
void AddMenus(HostContext* ctx) {
    struct Item {
        const char* action;
        void (*run)(HostContext*);
    };
    static const Item items[] = {
        {"open", ShowOpenPanel},
        {"run-command", ShowRunCommandWindow},
        {"quit",
         [](HostContext* c) {
             if (c->server->ShouldTerminate()) c->ui->Quit();
         }},
        {"about",
         [](HostContext* c) {
             gtk_show_about_dialog(nullptr, "program-name", kAppName, "version", kVersion, nullptr);
             (void)c;
         }},
    };
    for (const Item& item : items) {
        GSimpleAction* action = g_simple_action_new(item.action, nullptr);
        g_object_set_data(G_OBJECT(action), "run", reinterpret_cast<gpointer>(item.run));
        g_signal_connect(
            action, "activate", G_CALLBACK(+[](GSimpleAction* a, GVariant*, gpointer d) {
                auto run =
                    reinterpret_cast<void (*)(HostContext*)>(g_object_get_data(G_OBJECT(a), "run"));
                run(static_cast<HostContext*>(d));
            }),
            ctx);
        g_action_map_add_action(G_ACTION_MAP(ctx->app), G_ACTION(action));
        g_object_unref(action);
    }
    ctx->recentMenu = std::make_unique<RecentMenu>(
        *ctx->defaults, G_ACTION_MAP(ctx->app),
        [ctx](const std::string& path, const std::string& bottle) {
            ctx->server->RunClient(path, bottle);
        },
        [] { gdk_display_beep(gdk_display_get_default()); });
    GMenu* bar = g_menu_new();
    GMenu* file = g_menu_new();
    auto title = [](const char* format) {
        gchar* text = g_strdup_printf(format, kAppName);
        std::string out = text;
        g_free(text);
        return out;
    };
    g_menu_append(file, title("Open\u2026").c_str(), "app.open");
    g_menu_append_submenu(file, "Open Recent", G_MENU_MODEL(ctx->recentMenu->Menu()));
    g_menu_append(file, title("Run Command\u2026").c_str(), "app.run-command");
    g_menu_append(file, title("Quit %s").c_str(), "app.quit");
    GMenu* help = g_menu_new();
    g_menu_append(help, title("About %s").c_str(), "app.about");
    g_menu_append_submenu(bar, kAppName, G_MENU_MODEL(file));
    g_menu_append_submenu(bar, "Help", G_MENU_MODEL(help));
    gtk_application_set_menubar(GTK_APPLICATION(ctx->app), G_MENU_MODEL(bar));
    g_object_unref(file);
    g_object_unref(help);
    g_object_unref(bar);
    ctx->recentMenu->Rebuild();
}

void Activate(GApplication*, gpointer data) {
    auto* ctx = static_cast<HostContext*>(data);
    if (ctx->server) return;  // activated once
    std::string shared = std::filesystem::path(ctx->porticoRoot).parent_path().string();
    ctx->ui = MakeHostUi(
        ctx->gui ? GTK_APPLICATION(ctx->app) : nullptr, kAppName,
        [ctx] {
            if (ctx->quitRequested) return;
            ctx->quitRequested = true;
            g_application_release(ctx->app);
            g_application_quit(ctx->app);
        },
        [ctx] {
            if (ctx->recentMenu) ctx->recentMenu->Rebuild();
        });
    ctx->defaults = std::make_unique<HostDefaults>(HostDefaults::DefaultPath());
    ctx->defaults->RegisterHostDefaults(DefaultBottleDirectory());

    // The helper server answers the Windows side's scripts; the host goes on without it.
    HelperServerHooks hooks;
    hooks.ready = [ctx] { return ctx->server && ctx->server->HelperServerReady(); };
    hooks.raise = [ctx](const std::string& tag) {
        HY_LOG(LL_DebugMed, kCategory, "PTServer::raiseWindowsWithTag", "raise %s", tag.c_str());
        if (ctx->runCommand) ctx->runCommand->Show();
    };
    hooks.environment = [ctx] {
        TaskEnvironmentInputs in;
        in.porticoRoot = ctx->porticoRoot;
        in.helperServerReady = ctx->server && ctx->server->HelperServerReady();
        return TaskEnvironment(CurrentEnvironment(), in);
    };
    // A second larkhost hands its URLs and documents over: they run as if they had arrived here.
    hooks.open = [ctx](bool document, const std::string& bottle, const std::string& text) {
        if (!ctx->server) return;
        HY_LOG(LL_Status, kCategory, "PTServer::forwardedLaunch", "forwarded %s: %s",
               document ? "document" : "URL", text.c_str());
        if (document)
            ctx->server->OpenDocument(text, bottle);
        else
            ctx->server->OpenUrl(text, bottle);
    };
    ctx->helper = HelperServer::Start(hooks);

    // The setup library (bottles and their shutdown): the host cannot run without it.
    ctx->python = std::make_unique<PythonSetup>();
    std::string error;
    if (!ctx->python->Start(shared, ctx->porticoRoot, error)) {
        HY_LOG(LL_Critical, kCategory, "PTServer::init", "%s", error.c_str());
        gchar* text = g_strdup_printf(
            "Portico is unable to initialize a critical component.\n\n%s\n\nThe program will now "
            "exit.",
            error.c_str());
        ctx->ui->ShowAlert({"Initialization Failure", text, "OK", ""});
        g_free(text);
        ctx->status = 1;
        if (!ctx->gui) {
            ctx->ui->Quit();
        } else {
            // The alert stays up until dismissed; the host then exits.
            g_timeout_add_seconds(
                30,
                [](gpointer d) -> gboolean {
                    static_cast<HostContext*>(d)->ui->Quit();
                    return G_SOURCE_REMOVE;
                },
                ctx);
        }
        return;
    }

    // Will finish launching: a portable copy offers to move itself first.
    if (ctx->gui) {
        std::string portable = PortableCopy(ctx->porticoRoot);
        if (!portable.empty()) {
            auto actions = MakeDesktopMoveActions();
            MoveOutcome outcome =
                MoveToApplicationsIfWanted(portable, *ctx->defaults, MoveEnvironment::Default(),
                                           *actions, static_cast<int>(getpid()));
            if (outcome == MoveOutcome::Moved || outcome == MoveOutcome::SwitchedToRunning) {
                ctx->ui->Quit();
                return;
            }
        }
    }

    if (ctx->helper) ctx->helper->SetBottles(ctx->python.get());  // bottle questions from now on

    WineLoaderOptions loaderOptions;
    loaderOptions.porticoRoot = ctx->porticoRoot;
    loaderOptions.runOnMainThread = [](const std::function<void()>& f) { RunOnMainLoop(f); };
    loaderOptions.wrongArchitecture = [](const std::string& arch) {
        HY_LOG(LL_Warning, kCategory, "PTServer::wineLoaderRejectedRequest", "%s: %s = %s",
               kWrongArchitectureNotification, kRequestedArchitectureKey, arch.c_str());
    };
    ctx->loader = WineLoader::Create(loaderOptions);

    PTServerOptions options;
    options.porticoRoot = ctx->porticoRoot;
    options.applicationName = kAppName;
    options.version = kVersion;
    options.tasksShareTerminal = !ctx->gui;
    ctx->server = std::make_unique<PTServer>(options, *ctx->defaults, *ctx->ui);
    ctx->server->SetBottleCollection(ctx->python.get());
    ctx->server->SetWineLoader(ctx->loader);

    // When Wine ends the process, the host shuts down first.
    InstallExitGuard([ctx](std::function<void()> done) {
        HY_LOG(LL_Status, kCategory, "PTServer::windowsProgramExited",
               "The Windows program ended the process; shutting the host down first.");
        ctx->server->WhenShutDown([ctx, done] {
            if (ctx->loader) ctx->loader->Shutdown();
            HYLog::StopLogging();
            done();
        });
        ctx->server->ShouldTerminate();  // starts the bottle shutdown, or finds it done
    });
    for (int signal : {SIGTERM, SIGINT})
        g_unix_signal_add(
            signal,
            [](gpointer d) -> gboolean {
                auto* c = static_cast<HostContext*>(d);
                if (c->server->ShouldTerminate()) c->ui->Quit();
                return G_SOURCE_CONTINUE;
            },
            ctx);

    // URLs and documents given on the command line arrive before launching finishes.
    for (const auto& url : ctx->commandLine.urls)
        ctx->server->OpenUrl(url, ctx->commandLine.bottle);
    for (const auto& doc : ctx->commandLine.documents)
        ctx->server->OpenDocument(doc, ctx->commandLine.bottle);

    std::string bundle = std::filesystem::path(shared).parent_path().string();
    SetHostEnvironment(*ctx->defaults, ctx->porticoRoot, ApplicationSupportDirectory(), bundle);
    if (!WatchSystemProxy())
        HY_LOG(LL_DebugMed, kCategory, "PTServer::setEnvironmentVariables",
               "no desktop proxy settings; keeping the environment's");
    if (ctx->gui) AddMenus(ctx);
    ctx->server->DidFinishLaunching();
    if (ctx->gui && ctx->commandLine.runCommand) ShowRunCommandWindow(ctx);
}

}  // namespace

HostCommandLine ParseHostCommandLine(const std::vector<std::string>& args) {
    HostCommandLine line;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            line.help = true;
        } else if (a == "--run-command") {
            line.runCommand = true;
        } else if (a == "--bottle") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                line.error = "--bottle needs a bottle name";
                return line;
            }
            line.bottle = args[++i];
        } else if (a.rfind("--", 0) == 0) {
            line.error = "unknown option " + a;
            return line;
        } else if (a.rfind("file://", 0) == 0) {
            gchar* host = nullptr;
            gchar* path = g_filename_from_uri(a.c_str(), &host, nullptr);  // undoes %-escapes
            bool remote = host != nullptr && g_strcmp0(host, "localhost") != 0;
            g_free(host);
            if (path == nullptr || remote) {
                g_free(path);
                line.error = "not a local file: " + a;
                return line;
            }
            line.documents.push_back(path);
            g_free(path);
        } else if (!UrlScheme(a).empty() && a.find("://") != std::string::npos) {
            line.urls.push_back(a);
        } else if (!UrlScheme(a).empty() && !std::filesystem::exists(a)) {
            line.urls.push_back(a);  // e.g. "larkspur:play"
        } else {
            std::error_code ec;
            line.documents.push_back(std::filesystem::absolute(a, ec).string());
        }
    }
    return line;
}

std::string PorticoRootForExecutable(const std::string& executable) {
    return std::filesystem::path(executable).parent_path().parent_path().parent_path().string();
}

int RunHost(int argc, char** argv) {
    HostContext ctx;
    std::vector<std::string> args(argv + 1, argv + argc);
    ctx.commandLine = ParseHostCommandLine(args);
    if (ctx.commandLine.help || !ctx.commandLine.error.empty()) {
        if (!ctx.commandLine.error.empty())
            std::fprintf(stderr, "larkhost: %s\n", ctx.commandLine.error.c_str());
        std::fprintf(stderr, "usage: larkhost [--bottle NAME] [--run-command] [URL | FILE]...\n");
        return ctx.commandLine.help ? 0 : 2;
    }
    // A host already running takes this start's URLs and documents; this one then ends.
    if (!ctx.commandLine.urls.empty() || !ctx.commandLine.documents.empty()) {
        std::vector<ForwardedItem> items;
        for (const auto& url : ctx.commandLine.urls)
            items.push_back({false, ctx.commandLine.bottle, url});
        for (const auto& doc : ctx.commandLine.documents)
            items.push_back({true, ctx.commandLine.bottle, doc});
        size_t taken = ForwardToRunningHost(items);
        if (taken == items.size()) return 0;
        // The running host went away part of the way: this one starts with what is left.
        auto& urls = ctx.commandLine.urls;
        auto& docs = ctx.commandLine.documents;
        size_t fromUrls = std::min(taken, urls.size());
        urls.erase(urls.begin(), urls.begin() + static_cast<long>(fromUrls));
        docs.erase(docs.begin(), docs.begin() + static_cast<long>(taken - fromUrls));
    }
    std::error_code ec;
    std::string exe = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    ctx.porticoRoot = PorticoRootForExecutable(exe);

    std::string logs = StateDirectory() + "/logs";
    std::filesystem::create_directories(logs, ec);
    HYLog::StartLauncherLog(logs + "/larkhost.log");
    HY_LOG(LL_Status, kCategory, "PTApplication::init", "larkhost %s, process %d, root %s",
           kVersion, static_cast<int>(getpid()), ctx.porticoRoot.c_str());

    ctx.gui = gtk_init_check(nullptr, nullptr);
    ctx.app =
        ctx.gui
            ? G_APPLICATION(gtk_application_new("com.tessaline.larkspur", G_APPLICATION_NON_UNIQUE))
            : g_application_new("com.tessaline.larkspur", G_APPLICATION_NON_UNIQUE);
    g_signal_connect(ctx.app, "activate", G_CALLBACK(Activate), &ctx);
    g_application_hold(ctx.app);  // runs until the logic quits, not until the last window closes
    char* appArgv[] = {argv[0], nullptr};
    int runStatus = g_application_run(ctx.app, 1, appArgv);
    if (ctx.server) ctx.server->WillTerminate();
    HY_LOG(LL_Status, kCategory, "PTApplication::terminate", "larkhost ends");
    ctx.recentMenu.reset();
    ctx.runCommand.reset();
    ctx.openPanel.reset();
    ctx.helper.reset();
    ctx.server.reset();
    ctx.loader.reset();
    ctx.python.reset();
    g_object_unref(ctx.app);
    HYLog::StopLogging();
    return ctx.status != 0 ? ctx.status : runStatus;
}

}  // namespace larkhost
