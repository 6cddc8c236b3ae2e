#include "RunCommand.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "HostDefaults.h"
#include "HostEnvironment.h"
#include "LogMessage.h"

namespace larkhost {
namespace {

std::string SystemInformation() {
    std::string info;
    struct utsname name {};
    if (uname(&name) == 0)
        info += std::string("System: ") + name.sysname + " " + name.release + " " + name.version +
                " " + name.machine + "\n";
    std::ifstream release("/etc/os-release");
    std::string line;
    while (std::getline(release, line))
        if (line.rfind("PRETTY_NAME=", 0) == 0) info += "Distribution: " + line.substr(12) + "\n";
    return info + "\n";
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string CommandForFile(const std::string& path) { return "\"" + path + "\""; }

std::vector<std::string> RunCommandArguments(const RunCommandSettings& settings,
                                             const std::vector<std::string>& words,
                                             const std::string& logArgument) {
    std::vector<std::string> args = {
        "--bottle", settings.bottle.empty() ? "default" : settings.bottle, "--new-console"};
    if (settings.logEnabled && !settings.logFile.empty()) {
        args.push_back("--verbose");
        args.push_back("--pt-log");
        args.push_back(logArgument);
        if (!settings.channels.empty()) {
            args.push_back("--debugmsg");
            args.push_back(settings.channels);
        }
        if (!settings.environment.empty()) {
            args.push_back("--env");
            args.push_back(settings.environment);
        }
    }
    if (!settings.launcherMode) {
        if (!words.empty()) {
            std::string dir = std::filesystem::path(words[0]).parent_path().string();
            if (!dir.empty()) {
                args.push_back("--workdir");
                args.push_back(dir);
            }
        }
        args.push_back("--");
    }
    args.insert(args.end(), words.begin(), words.end());
    return args;
}

std::string LogFileHeader(const RunCommandSettings& settings) {
    return "Running command: " + settings.command + "\n" +
           "Bottle: " + (settings.bottle.empty() ? "default" : settings.bottle) +
           "\nDebug channels: " + settings.channels + "\nExtra environment variables " +
           settings.environment + "\n\n" + SystemInformation();
}

RunCommandController::RunCommandController(std::string porticoRoot, HostDefaults& defaults,
                                           Split split)
    : m_root(std::move(porticoRoot)), m_defaults(defaults), m_split(std::move(split)) {}

RunCommandController::~RunCommandController() {
    if (m_logFd >= 0) close(m_logFd);
}

bool RunCommandController::CanRun(const RunCommandSettings& settings) {
    return settings.launcherMode || !settings.command.empty();
}

bool RunCommandController::Run(const RunCommandSettings& settings, Finished finished) {
    m_running = true;
    bool logging = settings.logEnabled && !settings.logFile.empty();
    if (logging && (!settings.channels.empty() || !settings.environment.empty()))
        RememberLoggingOption(m_defaults, settings.channels, settings.environment);

    std::string logArgument;
    if (logging) {
        m_logFd = open(settings.logFile.c_str(),
                       O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
        if (m_logFd >= 0 && WriteAll(m_logFd, LogFileHeader(settings))) {
            logArgument = "-";  // the task's error output goes into the file
        } else {
            HY_LOG(LL_Warning, "HOST", "RunCommandController::runCommand",
                   "cannot open the log file %s; errno %d", settings.logFile.c_str(), errno);
            if (m_logFd >= 0) close(m_logFd);
            m_logFd = -1;
            logArgument = settings.logFile;
        }
    }
    std::vector<std::string> words =
        settings.command.empty() ? std::vector<std::string>() : m_split(settings.command);

    HostTaskSpec spec;
    spec.argv = {m_root + "/bin/ptstart"};
    for (auto& a : RunCommandArguments(settings, words, logArgument)) spec.argv.push_back(a);
    TaskEnvironmentInputs in;
    in.porticoRoot = m_root;
    in.helperServerReady = true;
    spec.environment = TaskEnvironment(CurrentEnvironment(), in);
    spec.captureOutput = true;
    spec.errorFd = m_logFd;
    std::string command = settings.command;
    std::string error;
    m_task = HostTask::Launch(
        spec,
        [this, finished, command](HostTask&, int status, const std::string& output,
                                  const std::string& errors) {
            RunCommandResult result;
            result.status = status;
            result.output = output;
            result.error = errors;
            if (status != 0) {
                result.showResults = true;
                gchar* message =
                    g_strdup_printf("The command %s returned %d.", command.c_str(), status);
                result.message = message;
                g_free(message);
                result.details =
                    "Command output:\n" + output + "\n\nCommand error text:\n" + errors;
            }
            if (m_logFd >= 0) close(m_logFd);
            m_logFd = -1;
            m_running = false;
            finished(result);
        },
        error);
    if (!m_task) {
        if (m_logFd >= 0) close(m_logFd);
        m_logFd = -1;
        m_running = false;
        RunCommandResult result;
        result.status = -1;
        result.showResults = true;
        result.message = "The command " + command + " could not be started: " + error;
        finished(result);
        return false;
    }
    return true;
}

}  // namespace larkhost
