// RunCommandController: runs one command line in a bottle through the ptstart script, with
// optional debug channels, extra environment and a log file, and reports a failing exit status
// with the command's output.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "HostTask.h"
#include "LoggingOptions.h"

namespace larkhost {

class HostDefaults;

struct RunCommandSettings {
    std::string command;        // the command text
    std::string bottle;         // empty: "default"
    bool launcherMode = false;  // no working directory or "--" of its own
    bool logEnabled = false;    // the log file switch
    std::string logFile;        // the log file path (when enabled)
    std::string channels;
    std::string environment;
};

struct RunCommandResult {
    int status = 0;
    std::string output;
    std::string error;
    // "Command results" sheet: shown when the status is not 0.
    bool showResults = false;
    std::string message;  // "The command %s returned %d."
    std::string details;  // output and error text
};

// The command text of a file opened to run: its path between double quotes.
std::string CommandForFile(const std::string& path);

// The ptstart arguments (after the script's path) for `settings` and the split command
// `words`; `logArgument` is "-" when the log file is open for the task's error output, or the
// log file's path when it could not be opened.
std::vector<std::string> RunCommandArguments(const RunCommandSettings& settings,
                                             const std::vector<std::string>& words,
                                             const std::string& logArgument);

// The header written at the top of a log file.
std::string LogFileHeader(const RunCommandSettings& settings);

class RunCommandController {
  public:
    using Split = std::function<std::vector<std::string>(const std::string&)>;
    using Finished = std::function<void(const RunCommandResult&)>;

    RunCommandController(std::string porticoRoot, HostDefaults& defaults, Split split);
    ~RunCommandController();

    // The run button: enabled when there is a command (always in launcher mode).
    static bool CanRun(const RunCommandSettings& settings);
    // Starts the command; false (after calling `finished` with the launch error) when it could not
    // start. `finished` runs on the main loop once the task has ended and its output was read.
    bool Run(const RunCommandSettings& settings, Finished finished);
    bool Running() const { return m_running; }

  private:
    std::string m_root;
    HostDefaults& m_defaults;
    Split m_split;
    std::unique_ptr<HostTask> m_task;
    int m_logFd = -1;
    bool m_running = false;
};

}  // namespace larkhost
