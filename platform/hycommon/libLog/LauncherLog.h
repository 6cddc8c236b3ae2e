// The launcher's log: one non-blocking file reactor "DISK_FILE" on "LarkLauncher.Log.txt".
#pragma once

#include <string>

namespace HYLog {

constexpr const char* kLauncherReactorName = "DISK_FILE";
constexpr const char* kLauncherLogFile = "LarkLauncher.Log.txt";

// Creates the file reactor (capacity 5000, default level 0) for `path`, truncated at every start
// and moved aside every 50000 lines, registers it, sets prefix format 2 and the global level 0.
// Answers 0 on success, 1 when the reactor could not be registered.
int StartLauncherLog(const std::string& path = kLauncherLogFile);

// Stops and removes every reactor; later log calls do nothing until one is registered again.
void StopLogging();

}  // namespace HYLog
