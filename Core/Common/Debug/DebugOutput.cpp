#include "DebugOutput.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "LogMessage.h"
#include "OsShell.h"

namespace {

// The system's message box: a real one on Windows, standard error elsewhere.
void SystemBox(const char* title, const char* text) {
    HY_OS::SystemMessageBox(title, text, HY_OS::MBB_Ok);
}

std::atomic<MessageBoxHandler> g_messageBox{&SystemBox};

}  // namespace

void SetMessageBoxHandler(MessageBoxHandler handler) {
    g_messageBox.store(handler ? handler : &SystemBox);
}

void ShowMessageBox(const char* title, const char* text) { g_messageBox.load()(title, text); }

DebugOutput::DebugOutput(std::string name, uint32_t flags)
    : m_name(std::move(name)), m_flags(flags) {}

void DebugOutput::Report(const char* text) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (m_flags & DOF_Log) {
        HY_LOG_AT(45, LL_DebugMed, "CORE_SEER", "DebugOutput::Report", "%s: %s", m_name.c_str(),
                  text);
    }
    if (m_flags & DOF_Debugger) {
        char line[2048];
        std::snprintf(line, sizeof line, "%s : %s\n", m_name.c_str(), text);
        HY_OS::DebuggerOutput(line);
    }
    if (m_flags & DOF_MessageBox) ShowMessageBox(m_name.c_str(), text);
    if (m_flags & DOF_StdErr) std::fprintf(stderr, "%s\n", text);
    if (m_flags & DOF_StdOut) std::fprintf(stdout, "%s\n", text);
}

void DebugOutput::Reportf(const char* format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Report(text);
}

DebugOutput& DebugOutput::Error() {
    static DebugOutput* channel = new DebugOutput("ERROR", DOF_Log);
    return *channel;
}

DebugOutput& DebugOutput::Except() {
    static DebugOutput* channel = new DebugOutput("EXCEPT", DOF_Log | DOF_Debugger);
    return *channel;
}
