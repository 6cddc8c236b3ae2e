// The window bridge: connects the launcher with its window. It is created at start-up with the
// launcher's path and launch options, hands the window a command delegate, and receives the
// window's command strings through it.
#pragma once

#include <string>
#include <vector>

#include "LaunchOptions.h"
#include "OsHost.h"
#include "WindowLibraryExports.h"

class CPatchInterface {
public:
    CPatchInterface(const std::string& exePath, const LaunchOptions& options);
    CPatchInterface(const CPatchInterface&) = delete;
    CPatchInterface& operator=(const CPatchInterface&) = delete;

    const std::string& ExePath() const { return m_exePath; }
    // The executable's file name without directory and extension.
    const std::string& ExeBaseName() const { return m_exeBaseName; }
    const LaunchOptions& GetLaunchOptions() const { return m_launchOptions; }

    // The delegate the window sends its commands through; bound to Execute.
    CommandDelegate* CommandDelegatePointer() { return &m_commandDelegate; }

    // One command from the window: the text split at every '|', empty pieces dropped. A command
    // with at least one piece is marked handled.
    void Execute(ExeParams& params);

    // The operating-system code handed to the window: a native Linux build reports 0 ("LI");
    // the Windows build tells the Windows versions and the compatibility layer apart.
    static int OsCode() { return HY_OS::GetOsCode(); }

    // The pieces of a command text.
    static std::vector<std::string> SplitCommand(const char* text);

private:
    static void ExecuteThunk(void* self, ExeParams& params);

    std::string m_exePath;
    std::string m_exeBaseName;
    LaunchOptions m_launchOptions;
    CommandDelegate m_commandDelegate;
};

// The base name of a program path: the file name without its directory and extension.
std::string ExeBaseNameOf(const std::string& exePath);
