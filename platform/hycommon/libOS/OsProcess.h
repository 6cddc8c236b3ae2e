// Processes of the platform seam: listing the running processes, starting programs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace HY_OS {

struct ProcessEntry {
    uint32_t processId = 0;
    // File name (no directory) of the program the process runs; empty when it cannot be read.
    std::string executableName;
};

// A snapshot of the running processes that this user may examine.
std::vector<ProcessEntry> ListProcesses();

// The id of a running process, other than `excludeProcessId`, whose executable file name equals
// `executableName` exactly (letter case included); 0 when there is none.
uint32_t FindProcessByExecutableName(const std::string& executableName, uint32_t excludeProcessId);

// Starts the program `path` with `arguments` (not including the program name) in
// `workingDirectory` (the caller's when empty) and does not wait for it. Answers 0 and the new
// process id, or the system's error number when the program could not be started.
int SpawnProcess(const std::string& path, const std::vector<std::string>& arguments,
                 const std::string& workingDirectory, uint32_t* processId = nullptr);

// Waits until the started process `processId` (a child of this process) has ended and answers
// true with its exit code (128 + the signal number for a process ended by a signal). False when
// the process is not a child of this one or was already waited for.
bool WaitForProcess(uint32_t processId, int* exitCode);

// Like WaitForProcess, without waiting: true with the exit code when the child has ended, false
// while it runs. A process that cannot be waited for (not a child, already collected) counts as
// ended with exit code -1, so a caller polling for its end does not poll for ever.
bool ProcessHasEnded(uint32_t processId, int* exitCode);

// Marks a downloaded program file as runnable by its owner; true on success.
bool MakeExecutable(const std::string& path);

// Brings the top-level windows of another process to the front, restoring minimised ones. Windows
// here belong to the display server, not to the process table, and one program may not raise
// another's windows; the call therefore does nothing on this platform.
void BringProcessWindowsToFront(uint32_t processId);

}  // namespace HY_OS
