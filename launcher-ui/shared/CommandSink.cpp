#include "CommandSink.h"

#include <cstdarg>
#include <cstdio>

namespace LarkUi {

CommandSink& CommandSink::Instance() {
    static CommandSink sink;
    return sink;
}

bool CommandSink::Send(const char* command) {
    if (!HasDelegate()) return false;
    ExeParams params{command, false};
    (*m_delegate)(params);
    return params.handled;
}

void CommandSink::LogToLauncher(const char* level, const char* format, ...) {
    // The level and the format are joined first; the arguments are then put into the result,
    // so a "%" inside an argument (an address, a file name) stays literal.
    char joined[512];
    std::snprintf(joined, sizeof joined, "Log|%s|%s", level, format);
    char line[8192];  // 8191 characters and the terminator
    va_list args;
    va_start(args, format);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::vsnprintf(line, sizeof line, joined, args);
#pragma GCC diagnostic pop
    va_end(args);
    Send(line);
}

}  // namespace LarkUi
