#include "WinHandle.h"

#include <tlhelp32.h>

#include "OsFile.h"
#include "OsProcess.h"

namespace HY_OS {

namespace {

// One argument quoted so that the C run-time's parser of the new process gives it back as it
// was: quotes around it when it is empty or holds blanks or quotes, backslashes doubled only
// where they come before a quote.
void AppendQuoted(std::string& line, const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
        line += argument;
        return;
    }
    line += '"';
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') line.append(backslashes * 2 + 1, '\\');
        else line.append(backslashes, '\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
}

}  // namespace

std::vector<ProcessEntry> ListProcesses() {
    std::vector<ProcessEntry> processes;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return processes;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        ProcessEntry process;
        process.processId = entry.th32ProcessID;
        process.executableName = FileNamePart(entry.szExeFile);
        processes.push_back(std::move(process));
    }
    CloseHandle(snapshot);
    return processes;
}

int SpawnProcess(const std::string& path, const std::vector<std::string>& arguments,
                 const std::string& workingDirectory, uint32_t* processId) {
    std::string line;
    AppendQuoted(line, path);
    for (const std::string& argument : arguments) {
        line += ' ';
        AppendQuoted(line, argument);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup,
                        &started)) {
        int error = static_cast<int>(GetLastError());
        return error != 0 ? error : -1;
    }
    if (processId) *processId = started.dwProcessId;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return 0;
}

namespace {

// Waits at most `timeoutMs` for the process; true with its exit code when it has ended. A process
// that cannot be opened counts as ended with -1.
bool WaitForProcessHandle(uint32_t processId, DWORD timeoutMs, int* exitCode) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) {
        if (exitCode) *exitCode = -1;
        return true;
    }
    DWORD waited = WaitForSingleObject(process, timeoutMs);
    DWORD code = 0;
    bool ended = waited == WAIT_OBJECT_0;
    if (ended && exitCode) *exitCode = GetExitCodeProcess(process, &code) ? static_cast<int>(code) : -1;
    CloseHandle(process);
    return ended;
}

}  // namespace

bool WaitForProcess(uint32_t processId, int* exitCode) {
    int code = -1;
    if (!WaitForProcessHandle(processId, INFINITE, &code) || code == -1) return false;
    if (exitCode) *exitCode = code;
    return true;
}

bool ProcessHasEnded(uint32_t processId, int* exitCode) { return WaitForProcessHandle(processId, 0, exitCode); }

// Windows runs any program file; there is no mode to set, only the file to find.
bool MakeExecutable(const std::string& path) { return FileExists(path) && !IsDirectory(path); }

namespace {
BOOL CALLBACK RaiseWindowOf(HWND window, LPARAM target) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != static_cast<DWORD>(target)) return TRUE;
    WINDOWINFO info{};
    info.cbSize = sizeof info;
    if (IsIconic(window) && GetWindowInfo(window, &info) && info.cxWindowBorders != 0) {
        ShowWindowAsync(window, SW_RESTORE);
    }
    SetForegroundWindow(window);
    return TRUE;
}
}  // namespace

void BringProcessWindowsToFront(uint32_t processId) {
    if (processId != 0) EnumWindows(RaiseWindowOf, static_cast<LPARAM>(processId));
}

}  // namespace HY_OS
