#include "CrashOutput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "HYLogNBReactor.h"
#include "LogMessage.h"
#include "LogRecord.h"
#include "OsCrash.h"
#include "SafeText.h"

namespace CrashOutput {

namespace {

constexpr int kMaxFiles = 8;
constexpr const char kChannel[] = "EXCEPT";
constexpr const char kCategory[] = "CORE_SEER";

int g_fds[kMaxFiles];
int g_formats[kMaxFiles];
int g_fileCount = 0;
SafeText g_line;

void WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        data += n;
        size -= static_cast<size_t>(n);
    }
}

// The log line's prefix in the file reactor's formats 1 and 2 (the launcher's); format 0 has
// none. The crash handler's lines carry object id 0.
void Prefix(SafeText& out, int format, uint8_t level, const char* file, unsigned line) {
    if (format != 1 && format != 2) return;
    HY_OS::CrashTime t = HY_OS::CrashLocalTime();
    out.Dec(t.month, 2, '0').Char('/').Dec(t.day, 2, '0').Char('/').Dec(t.year % 100, 2, '0');
    out.Char(' ').Dec(t.hour, 2, '0').Char(':').Dec(t.minute, 2, '0').Char(':');
    out.Dec(t.second, 2, '0').Str(" [").Str(HYLog::LevelTag(level)).Str("] ");
    out.Padded(kCategory, 15).Char(' ');
    if (format == 2) {
        out.Padded(file, 20).Char(' ').Dec(line, 4, '0').Str(" [0] ");
    }
}

void ToLogFiles(uint8_t level, const char* file, unsigned line, const char* format,
                const char* text) {
    if (HYLog::GetGlobalLevel() > level) return;
    for (int i = 0; i < g_fileCount; ++i) {
        g_line.Clear();
        Prefix(g_line, g_formats[i], level, file, line);
        if (level == LL_Error || level == LL_Critical) g_line.Dec(HYLog::FormatHash(format), 10).Char(' ');
        g_line.Str(text).Char('\n');
        WriteAll(g_fds[i], g_line.c_str(), g_line.size());
    }
}

}  // namespace

bool Open(uint32_t crashedThreadId, uint32_t waitMs) {
    HYLogNBReactor* reactors[8];
    int count = HYLogNBReactor::RunningReactors(reactors, 8);
    bool allWritten = true;
    for (int i = 0; i < count; ++i) {
        if (reactors[i]->ThreadId() == crashedThreadId) {
            allWritten = false;  // its own thread is the one that crashed: nobody can write
            continue;
        }
        uint32_t waited = 0;
        while (!reactors[i]->IsIdle() && waited < waitMs * 2) {
            HY_OS::CrashSleepUs(500);
            ++waited;
        }
        allWritten = allWritten && reactors[i]->IsIdle();
    }
    g_fileCount = 0;
    for (int i = 0; i < count && g_fileCount < kMaxFiles; ++i) {
        const char* path = reactors[i]->CrashLogPath();
        if (path == nullptr) continue;
        int fd = ::open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd < 0) continue;
        g_fds[g_fileCount] = fd;
        g_formats[g_fileCount] = reactors[i]->CrashPrefixFormat();
        ++g_fileCount;
    }
    return allWritten;
}

void Close() {
    for (int i = 0; i < g_fileCount; ++i) ::close(g_fds[i]);
    g_fileCount = 0;
}

void ReportLine(const char* text) {
    // The channel's log line: "%s: %s" at LL_DebugMed from DebugOutput::Report.
    static SafeText logText;
    logText.Clear();
    logText.Str(kChannel).Str(": ").Str(text);
    ToLogFiles(LL_DebugMed, "DebugOutput.cpp", 45, "%s: %s", logText.c_str());
    // The debugger output: "%s : %s\n".
    static SafeText debugText;
    debugText.Clear();
    debugText.Str(kChannel).Str(" : ").Str(text).Char('\n');
    WriteAll(STDERR_FILENO, debugText.c_str(), debugText.size());
}

void LogLine(uint8_t level, const char* function, const char* sourceFile, unsigned line,
             const char* format, const char* text) {
    (void)function;  // the file reactor's line formats do not show the function
    ToLogFiles(level, sourceFile, line, format, text);
}

}  // namespace CrashOutput
