// PTServer: the host's application logic. It orders the start-up, gates every launch behind it,
// runs the launcher as the primary task, hands URLs and documents to the Windows side, shows
// launch feedback, reports failed tasks, and quits (after shutting the bottles down) when the
// primary task ends. Everything here runs on the main thread; windows are behind HostUi.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "HostCommands.h"
#include "HostDefaults.h"
#include "HostSetup.h"
#include "HostTask.h"
#include "LaunchFeedback.h"
#include "RecentItems.h"

namespace larkhost {

class WineLoader;

struct HostAlert {
    std::string title;
    std::string text;
    std::string button = "OK";
    std::string icon;  // the launch's icon, empty for the application's
};

// The windows and the application the logic drives.
class HostUi {
  public:
    virtual ~HostUi() = default;
    virtual void ShowAlert(const HostAlert& alert) = 0;
    // The "splash" window: shown while a launch is pending, hidden when none is.
    virtual void ShowSplash(bool show) = 0;
    // The "firstrunsplash" window; false when there is none.
    virtual bool ShowFirstRunSplash() = 0;
    virtual bool FirstRunSplashShowing() = 0;
    // The launches have finished: both the "splash" and the "firstrunsplash" window close.
    virtual void CloseSplashes() { ShowSplash(false); }
    virtual void SetMenusEnabled(bool enabled) = 0;
    // Ends the application's main loop (after the terminate request was answered "now").
    virtual void Quit() = 0;
    // The recent documents changed: the menu is built anew.
    virtual void RecentItemsChanged() {}
};

// Launch arguments of forkExecCommand.
struct LaunchArgs {
    std::string icon;
    std::string workdir;
    std::string doc;
    bool primaryOEMapp = false;
};

struct PTServerOptions {
    std::string porticoRoot;
    std::string applicationName = "Larkspur";
    std::string applicationIcon = "larkspur";
    std::string version;
    std::string feedbackDirectory;  // the temporary folder when empty
    // Without a display the host's tasks share its standard input and output: the Windows
    // launcher's window is then its console window, which needs the terminal.
    bool tasksShareTerminal = false;
};

class PTServer {
  public:
    PTServer(PTServerOptions options, HostDefaults& defaults, HostUi& ui);
    ~PTServer();

    void SetBottleCollection(BottleCollection* bottles) { m_bottles = bottles; }
    void SetWineLoader(std::shared_ptr<WineLoader> loader);
    WineLoader* Loader() const { return m_loader.get(); }

    // Start-up (after the environment of the process has been set): launches the primary task
    // unless a URL or document arrived, handles the first run, then opens the gate from the
    // main loop once this call has returned.
    void DidFinishLaunching();
    void LaunchWindowsExe();
    void OpenUrl(const std::string& url, const std::string& bottle);
    void OpenDocument(const std::string& path, const std::string& bottle);
    void RunClient(const std::string& path, const std::string& bottle);

    // Launches a command the host built; the task's environment gets the launch's sockets.
    void ForkExecCommand(const ShellCommand& command, const LaunchArgs& args);

    // The terminate request. Answers true for "now"; false for "later" (the bottles are being
    // shut down on a background thread; Quit follows when they are).
    bool ShouldTerminate();
    // Called when the application is about to end (after ShouldTerminate said so).
    void WillTerminate();
    // Runs `then` once the host has shut down (bottles quit); at once when it already has.
    void WhenShutDown(std::function<void()> then);

    bool GateOpen() const { return m_gateOpen; }
    bool HelperServerReady() const { return m_helperReady; }
    bool PrimaryTaskScheduled() const { return m_primaryScheduled; }
    int RunningTasks() const { return m_runningTasks; }
    size_t PendingLaunches() const { return m_feedback.Count(); }
    bool Quitting() const { return m_quitting; }

    // One tick of the launch-feedback timer (public for tests that drive it by hand).
    void FeedbackTick();

  private:
    struct TaskEntry {
        std::unique_ptr<HostTask> task;
        LaunchArgs args;
        std::unique_ptr<LaunchFeedbackInfo> feedback;
    };

    void QueueBehindGate(std::function<void()> work);
    void OpenGate();
    void StartLaunchNotify(TaskEntry& entry, const std::string& icon);
    void TaskEnded(HostTask* task, int status, const std::string& errorOutput);
    void HandleErrorOutput(const TaskEntry& entry, const std::string& errorOutput);
    void StartFeedbackTimer();
    void StopFeedbackTimer();
    void ShutDownBottles();
    void ShutdownFinished(bool ok);

    PTServerOptions m_options;
    HostDefaults& m_defaults;
    HostUi& m_ui;
    BottleCollection* m_bottles = nullptr;
    std::shared_ptr<WineLoader> m_loader;

    bool m_gotLaunchEvent = false;
    bool m_primaryScheduled = false;
    bool m_quitting = false;
    bool m_menusEnabled = false;
    bool m_helperReady = false;
    bool m_gateOpen = false;
    bool m_shutDown = false;
    std::vector<std::function<void()>> m_gated;
    std::vector<std::function<void()>> m_afterShutdown;
    std::map<HostTask*, TaskEntry> m_tasks;
    int m_runningTasks = 0;
    LaunchFeedbackList m_feedback;
    unsigned m_feedbackTimer = 0;
    RecentItems m_recent;
    std::shared_ptr<bool> m_alive;
};

}  // namespace larkhost
