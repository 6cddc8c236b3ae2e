// Report channels: named outputs whose lines go to the log and, by their flags, to the debugger
// output, a message box, standard error or standard output.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

enum DebugOutputFlags : uint32_t {
    DOF_Log = 1,          // the log, at LL_DebugMed under "CORE_SEER"
    DOF_Debugger = 2,     // the debugger output ("%s : %s\n"); standard error off Windows
    DOF_MessageBox = 4,   // a message box through the installed message-box handler
    DOF_StdErr = 8,
    DOF_StdOut = 16,
};

class DebugOutput {
public:
    DebugOutput(std::string name, uint32_t flags);

    // Sends one line to every output the flags name.
    void Report(const char* text);
    void Reportf(const char* format, ...) __attribute__((format(printf, 2, 3)));

    const std::string& Name() const { return m_name; }
    // Held by a caller that writes several lines that must stay together.
    std::recursive_mutex& Lock() { return m_lock; }

    // The channel "ERROR" that assertion reports go to.
    static DebugOutput& Error();
    // The channel "EXCEPT" that crash reports go to.
    static DebugOutput& Except();

private:
    std::string m_name;
    uint32_t m_flags;
    std::recursive_mutex m_lock;
};

// Shows a message box; replaceable so that tests and terminal builds can answer for the user.
using MessageBoxHandler = void (*)(const char* title, const char* text);
void SetMessageBoxHandler(MessageBoxHandler handler);
void ShowMessageBox(const char* title, const char* text);
