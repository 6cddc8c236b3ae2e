#include "PTServer.h"

#include <glib.h>
#include <thread>

#include "HostEnvironment.h"
#include "LogMessage.h"
#include "MainThread.h"
#include "WineLoader.h"

namespace larkhost {
namespace {

constexpr const char* kCategory = "HOST";

bool Contains(const std::string& text, const char* what) {
    return text.find(what) != std::string::npos;
}

std::string Format(const char* format, const std::string& a, const std::string& b = "") {
    // The alerts' formats carry positional %1$s/%2$s or a single %s.
    gchar* text = g_strdup_printf(format, a.c_str(), b.c_str());
    std::string out = text;
    g_free(text);
    return out;
}

}  // namespace

PTServer::PTServer(PTServerOptions options, HostDefaults& defaults, HostUi& ui)
    : m_options(std::move(options)),
      m_defaults(defaults),
      m_ui(ui),
      m_recent(defaults),
      m_alive(std::make_shared<bool>(true)) {}

PTServer::~PTServer() {
    m_alive.reset();
    StopFeedbackTimer();
}

void PTServer::SetWineLoader(std::shared_ptr<WineLoader> loader) { m_loader = std::move(loader); }

void PTServer::QueueBehindGate(std::function<void()> work) {
    if (m_gateOpen)
        PostToMainLoop(m_alive, std::move(work));
    else
        m_gated.push_back(std::move(work));
}

void PTServer::OpenGate() {
    m_gateOpen = true;
    auto queued = std::move(m_gated);
    m_gated.clear();
    for (auto& work : queued) PostToMainLoop(m_alive, std::move(work));
}

void PTServer::DidFinishLaunching() {
    if (!m_gotLaunchEvent) LaunchWindowsExe();  // an untitled start runs the launcher
    m_menusEnabled = false;
    m_ui.SetMenusEnabled(false);
    std::string recorded = m_defaults.GetString("FirstRunVersion").value_or("");
    if (g_ascii_strcasecmp(recorded.c_str(), m_options.version.c_str()) != 0) {
        bool upgrade = !recorded.empty();
        HY_LOG(LL_Status, kCategory, "PTServerOEM::firstRun", "first run of version %s (%s)",
               m_options.version.c_str(), upgrade ? "upgrade" : "new installation");
        m_ui.ShowFirstRunSplash();
        m_defaults.SetString("FirstRunVersion", m_options.version);
    }
    // After this call has returned: the helper server is ready, and every queued launch runs.
    PostToMainLoop(m_alive, [this] {
        m_helperReady = true;
        OpenGate();
    });
    m_menusEnabled = true;
    m_ui.SetMenusEnabled(true);
}

void PTServer::LaunchWindowsExe() {
    if (m_primaryScheduled) return;
    ShellCommand command = PrimaryCommand(m_options.porticoRoot);
    LaunchArgs args;
    args.primaryOEMapp = true;
    args.icon = m_options.applicationIcon;
    QueueBehindGate([this, command, args] { ForkExecCommand(command, args); });
    m_primaryScheduled = true;
}

void PTServer::OpenUrl(const std::string& url, const std::string& bottle) {
    m_gotLaunchEvent = true;
    if (url.empty() || g_ascii_strcasecmp(UrlScheme(url).c_str(),
                                          "com.tessaline.private-larkspur-app-scheme") == 0)
        return;
    ShellCommand command = UrlCommand(m_options.porticoRoot, bottle, url);
    QueueBehindGate([this, command] { ForkExecCommand(command, LaunchArgs{}); });
    m_primaryScheduled = true;  // a start by URL does not also start the launcher
}

void PTServer::OpenDocument(const std::string& path, const std::string& bottle) {
    m_gotLaunchEvent = true;
    m_primaryScheduled = true;
    QueueBehindGate([this, path, bottle] { RunClient(path, bottle); });
}

void PTServer::RunClient(const std::string& path, const std::string& bottle) {
    LaunchArgs args;
    args.icon = "text-x-generic";
    args.doc = path;
    ForkExecCommand(DocumentCommand(m_options.porticoRoot, bottle, path), args);
    m_recent.Add(path, bottle.empty() ? std::nullopt : std::optional<std::string>(bottle));
    m_ui.RecentItemsChanged();
}

void PTServer::ForkExecCommand(const ShellCommand& command, const LaunchArgs& args) {
    TaskEntry entry;
    entry.args = args;
    HostTaskSpec spec;
    spec.workingDirectory = args.workdir.empty() ? g_get_home_dir() : args.workdir;
    if (!args.icon.empty()) StartLaunchNotify(entry, args.icon);
    spec.argv = {"/bin/sh", "-c", command.Text()};
    spec.shareTerminal = m_options.tasksShareTerminal;
    TaskEnvironmentInputs in;
    in.porticoRoot = m_options.porticoRoot;
    in.helperServerReady = m_helperReady;
    in.launchNotifySocket = entry.feedback ? entry.feedback->SocketPath() : "";
    in.loaderSocket = m_loader ? m_loader->SocketPath() : "";
    in.disableWineIntegration = m_defaults.GetBool("DisableWineIntegration", false);
    spec.environment = TaskEnvironment(CurrentEnvironment(), in);

    std::string error;
    auto task = HostTask::Launch(
        spec,
        [this, alive = std::weak_ptr<bool>(m_alive)](HostTask& t, int status, const std::string&,
                                                     const std::string& errors) {
            if (alive.lock()) TaskEnded(&t, status, errors);
        },
        error);
    if (!task) {
        HY_LOG(LL_Error, kCategory, "PTServer::forkExecCommand",
               "Exception when launching task: %s\n    for command: %s\n", error.c_str(),
               command.Text().c_str());
        if (entry.feedback) {
            m_feedback.Remove(entry.feedback.get());
        }
        m_ui.ShowAlert(
            {Format("%s could not open the document or program.", m_options.applicationName),
             "An error occurred when attempting to launch a new task.", "OK", args.icon});
        return;
    }
    ++m_runningTasks;
    HostTask* key = task.get();
    entry.task = std::move(task);
    m_tasks.emplace(key, std::move(entry));
}

void PTServer::StartLaunchNotify(TaskEntry& entry, const std::string& icon) {
    entry.feedback = LaunchFeedbackInfo::Start(icon, m_options.feedbackDirectory);
    if (!entry.feedback) return;  // the launch runs without feedback
    m_feedback.Add(entry.feedback.get());
    StartFeedbackTimer();
    FeedbackTick();  // fire now
}

void PTServer::StartFeedbackTimer() {
    if (m_feedbackTimer != 0) return;
    m_feedbackTimer = g_timeout_add(
        kFeedbackTickMs,
        [](gpointer self) -> gboolean {
            static_cast<PTServer*>(self)->FeedbackTick();
            return G_SOURCE_CONTINUE;
        },
        this);
}

void PTServer::StopFeedbackTimer() {
    if (m_feedbackTimer != 0) g_source_remove(m_feedbackTimer);
    m_feedbackTimer = 0;
}

void PTServer::FeedbackTick() {
    if (m_feedback.Empty()) {
        StopFeedbackTimer();  // parked until the next launch
        m_ui.CloseSplashes();
        return;
    }
    bool draw = m_feedback.Tick();
    m_ui.ShowSplash(draw && !m_ui.FirstRunSplashShowing());
}

void PTServer::TaskEnded(HostTask* task, int status, const std::string& errorOutput) {
    auto it = m_tasks.find(task);
    if (it == m_tasks.end()) return;
    TaskEntry entry = std::move(it->second);
    m_tasks.erase(it);
    HandleErrorOutput(entry, errorOutput);
    if (entry.feedback) {
        entry.feedback->End();
        m_feedback.Remove(entry.feedback.get());
        FeedbackTick();
    }
    --m_runningTasks;
    HY_LOG(LL_Status, kCategory, "PTServerOEM::taskTerminated", "Running tasks: %d",
           m_runningTasks);
    if (m_runningTasks == 0) {
        HY_LOG(LL_Status, kCategory, "PTServerOEM::taskTerminated",
               "The primary OEM task just exited.  Time to close down.");
        if (ShouldTerminate()) m_ui.Quit();
    }
    // The task object goes with `entry`, after its callback has returned.
    PostToMainLoop(m_alive, [holder = std::make_shared<TaskEntry>(std::move(entry))] {});
}

void PTServer::HandleErrorOutput(const TaskEntry& entry, const std::string& errorOutput) {
    if (errorOutput.empty()) return;
    HY_LOG(LL_Status, kCategory, "PTServer::taskErrorOutput", "Task error output: %s\n",
           errorOutput.c_str());
    const std::string& app = m_options.applicationName;
    const std::string& doc = entry.args.doc;
    HostAlert alert;
    alert.icon = entry.args.icon;
    if (Contains(errorOutput, "(error 31)")) {
        alert.title = doc.empty() ? Format("%s was unable to open this document.", app)
                                  : Format("%1$s was unable to open %2$s.", app, doc);
        alert.text =
            "Possible reasons for this error are:\n\n"
            "\u2022 The application associated with this document has been deleted\n"
            "\u2022 The application associated with this document is not in the default bottle\n";
        m_ui.ShowAlert(alert);
    } else if (Contains(errorOutput, "No such file or directory")) {
        alert.title = doc.empty() ? Format("%s was unable to start this application.", app)
                                  : Format("%1$s was unable to start %2$s.", app, doc);
        alert.text = "Probably it has been uninstalled or its bottle has been deleted.\n";
        m_ui.ShowAlert(alert);
    }
}

bool PTServer::ShouldTerminate() {
    if (m_shutDown) return true;
    if (m_quitting) return false;
    if (m_bottles == nullptr) {
        m_shutDown = true;
        auto then = std::move(m_afterShutdown);
        for (auto& f : then) f();
        return true;
    }
    m_quitting = true;
    ShutDownBottles();
    return false;
}

void PTServer::ShutDownBottles() {
    BottleCollection* bottles = m_bottles;
    std::weak_ptr<bool> alive = m_alive;
    std::thread([this, bottles, alive] {
        bool force = false;
        std::vector<std::string> names;
        RunOnMainLoop([&] {
            for (const auto& b : bottles->Bottles()) names.push_back(b.name);
        });
        bool ok = true;
        for (const auto& name : names) {
            for (const char* step : {"pre_quit", "quit", "post_quit"}) {
                bool agreed = false;
                RunOnMainLoop([&] {
                    HY_LOG(LL_Status, kCategory, "PTServer::shutDownBottles", "bottle %s: %s",
                           name.c_str(), step);
                    agreed = bottles->QuitStep(name, step, force);
                });
                if (!agreed && !force) {
                    HY_LOG(LL_Status, kCategory, "PTServer::shutDownBottles", "Canceling shutdown");
                    ok = false;
                    break;
                }
                if (!agreed)
                    HY_LOG(LL_Status, kCategory, "PTServer::shutDownBottles", "Forcing shutdown");
            }
            if (!ok) break;
        }
        if (force)
            for (const auto& name : names) RunOnMainLoop([&] { bottles->ForceQuit(name); });
        RunOnMainLoop([&] {
            if (alive.lock()) ShutdownFinished(ok);
        });
    }).detach();
}

void PTServer::ShutdownFinished(bool ok) {
    m_quitting = false;
    if (!ok) return;  // a bottle refused: the host keeps running
    m_shutDown = true;
    auto then = std::move(m_afterShutdown);
    m_afterShutdown.clear();
    for (auto& f : then) f();
    m_ui.Quit();
}

void PTServer::WhenShutDown(std::function<void()> then) {
    if (m_shutDown)
        then();
    else
        m_afterShutdown.push_back(std::move(then));
}

void PTServer::WillTerminate() {
    StopFeedbackTimer();
    if (m_loader) m_loader->Shutdown();
}

}  // namespace larkhost
