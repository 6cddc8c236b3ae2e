// Support for the crash tests: running the crash victim as a child process, reading what it
// left behind, and asking lldb for the backtrace of a dump.
#pragma once

#include <string>
#include <vector>

namespace crashtest {

struct ChildResult {
    bool exited = false;      // ended by exit(); `code` holds the status
    int code = 0;
    int signal = 0;           // ended by this signal
    bool hung = false;        // still running at the limit, then killed
    std::string out;          // standard output, read until every writer closed it
    std::string err;          // standard error
    std::vector<int> stops;   // traced: the signals the tracer saw delivered, in order
};

// Runs `program` with `arguments`, standard input from /dev/null, and waits for it (and for
// everything that inherited its standard output) at most `limitSeconds`.
ChildResult Run(const std::string& program, const std::vector<std::string>& arguments,
                int limitSeconds = 60);
// The same under a minimal debugger: the child is traced, and every signal it gets is noted
// and handed on to it.
ChildResult RunTraced(const std::string& program, const std::vector<std::string>& arguments,
                      int limitSeconds = 60);

// The victim program and the report program built beside the tests.
std::string VictimPath();
std::string ReportProgramPath();

// "thread backtrace" of the dump's crashed thread, as lldb prints it.
std::string LldbBacktrace(const std::string& dumpPath);

std::string ReadFile(const std::string& path);
std::vector<std::string> Lines(const std::string& text);
// Files of `directory` whose names end in ".dmp".
std::vector<std::string> DumpFiles(const std::string& directory);

}  // namespace crashtest
