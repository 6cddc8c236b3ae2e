// Starting the larkserver program in the tests: its standard output on a pipe, the lines it
// prints once listening read back, and the port of a "... listening on ADDRESS:PORT" line.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// Starts larkserver with `args` and reads `lineCount` lines of its standard output into `lines`
// (fewer when it ends first); answers the process id, or -1.
pid_t StartServer(const std::vector<std::string>& args, size_t lineCount,
                  std::vector<std::string>& lines);
// The port of the line that starts with "larkserver: <role> server listening on", or 0.
uint16_t ListeningPort(const std::vector<std::string>& lines, const std::string& role);
// Sends SIGTERM and answers the exit code (-1 when the program did not exit normally).
int StopServer(pid_t pid);
