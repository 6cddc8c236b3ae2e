// Where a crash report goes, written straight to its outputs with write(2) from the signal
// handler (never through the log queue, whose lock or memory the crashed thread may hold): the
// report channel "EXCEPT" to the log files of the running file reactors (as the channel's log
// line) and to standard error (the debugger output, "EXCEPT : text"); the crash handler's own log
// lines to the log files.
#pragma once

#include <cstdint>

namespace CrashOutput {

// Waits, at most `waitMs`, until the running file reactors have written and flushed every
// record queued before the crash (not for a reactor whose own thread crashed), then opens their
// files for appending. Answers whether every reactor was waited for.
bool Open(uint32_t crashedThreadId, uint32_t waitMs);
// Closes what Open opened.
void Close();

// One line of the report channel "EXCEPT".
void ReportLine(const char* text);
// One log line of the crash handler under "CORE_SEER": `format` is the line's format (for the
// hash column of error lines), `text` the finished text.
void LogLine(uint8_t level, const char* function, const char* sourceFile, unsigned line,
             const char* format, const char* text);

}  // namespace CrashOutput
