// The launcher application: its start-up from the command line to the hand-over to the window.
#pragma once

#include <memory>
#include <string>

#include "PatchClientConfig.h"
#include "PatchInterface.h"

class CPatchClientUIApp {
public:
    // Installs the crash handler (again: static initialisation installed it already, but a
    // program may replace the signal handlers between the two).
    CPatchClientUIApp();
    CPatchClientUIApp(const CPatchClientUIApp&) = delete;
    CPatchClientUIApp& operator=(const CPatchClientUIApp&) = delete;

    // Runs the launcher: command line, language, single instance, working directory, log file,
    // configuration, fail-safe update check, and the window until it closes. Always answers
    // false. When the run relaunched the launcher from the other bank, it then waits for that
    // launcher to end, so the session stays in the same terminal (see ExitCode).
    bool InitInstance(int argc, char** argv);

    // The program's exit code: the relaunched launcher's when there was one, else 1.
    int ExitCode() const { return m_exitCode; }

    PatchClientConfig& Config() { return m_config; }
    CPatchInterface* PatchInterface() { return m_patchInterface.get(); }

private:
    // The steps after the log file is open; answers when start-up ends.
    void RunLoggedSteps(const std::string& exePath, const std::string& exeDirectory);

    PatchClientConfig m_config;
    std::unique_ptr<CPatchInterface> m_patchInterface;
    int m_exitCode = 1;
};
