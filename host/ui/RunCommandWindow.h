// The run-command window: a command line, a bottle, logging options with presets and a log
// file; the run button runs the command through ptstart and a failing command's results show
// in a sheet of the window.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "HostSetup.h"
#include "RunCommand.h"

typedef struct _GtkWidget GtkWidget;

namespace larkhost {

class RunCommandWindow {
  public:
    RunCommandWindow(std::string porticoRoot, HostDefaults& defaults,
                     std::vector<BottleInfo> bottles, RunCommandController::Split split);
    ~RunCommandWindow();
    RunCommandWindow(const RunCommandWindow&) = delete;
    RunCommandWindow& operator=(const RunCommandWindow&) = delete;

    void Show();
    GtkWidget* Window() const { return m_window; }

    // The window's parts, for the tests that drive it.
    GtkWidget* CommandEntry() const { return m_command; }
    GtkWidget* ChannelsEntry() const { return m_channels; }
    GtkWidget* EnvironmentEntry() const { return m_environment; }
    GtkWidget* LogSwitch() const { return m_logSwitch; }
    GtkWidget* RunButton() const { return m_run; }
    GtkWidget* ResultsSheet() const { return m_results; }
    std::string LogFilePath() const { return m_logPath; }
    // Chooses preset `index` of the presets menu.
    void ChoosePreset(size_t index);
    bool Running() const { return m_controller.Running(); }

  private:
    void Build();
    void BuildPresetMenu();
    void UpdateRunButton();
    void RecomputeLogPath();
    void OnChannelsChanged();
    void OnLogSwitch();
    void OnRun();
    void ShowResults(const RunCommandResult& result);
    std::string SelectedBottle() const;

    std::string m_root;
    HostDefaults& m_defaults;
    std::vector<BottleInfo> m_bottles;
    RunCommandController m_controller;
    GtkWidget* m_window = nullptr;
    GtkWidget* m_command = nullptr;
    GtkWidget* m_bottle = nullptr;
    GtkWidget* m_logSwitch = nullptr;
    GtkWidget* m_channels = nullptr;
    GtkWidget* m_environment = nullptr;
    GtkWidget* m_presetButton = nullptr;
    GtkWidget* m_logLabel = nullptr;
    GtkWidget* m_run = nullptr;
    GtkWidget* m_results = nullptr;
    std::string m_logPath;
    bool m_userPickedLog = false;
    bool m_filtering = false;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace larkhost
