// The launcher's delegate as the window sees it: command strings sent one at a time, on the
// window's thread, and log lines in the launcher's "Log|level|text" form.
#pragma once

#include <string>

#include "WindowLibraryExports.h"

namespace LarkUi {

class CommandSink {
  public:
    // The delegate is kept for the rest of the process; null drops every command.
    void SetDelegate(CommandDelegate* delegate) { m_delegate = delegate; }
    bool HasDelegate() const { return m_delegate != nullptr && m_delegate->function != nullptr; }

    // Sends `command`; answers the handled flag the launcher wrote (false without a delegate).
    bool Send(const char* command);
    bool Send(const std::string& command) { return Send(command.c_str()); }

    // "Log|<level>|<format>" filled with the arguments, cut to 8191 characters, sent as a command.
    void LogToLauncher(const char* level, const char* format, ...)
        __attribute__((format(printf, 3, 4)));

    static CommandSink& Instance();

  private:
    CommandDelegate* m_delegate = nullptr;
};

}  // namespace LarkUi
