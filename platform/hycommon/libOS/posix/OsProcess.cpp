#include "OsProcess.h"

#include <dirent.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <memory>

#include "OsFile.h"

extern char** environ;

namespace HY_OS {

namespace {

bool ParseProcessId(const char* name, uint32_t& id) {
    if (*name == '\0') return false;
    uint64_t value = 0;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + static_cast<uint64_t>(*p - '0');
        if (value > UINT32_MAX) return false;
    }
    id = static_cast<uint32_t>(value);
    return true;
}

// The program file of the process from its "exe" link. The kernel marks a program file that was
// replaced or removed while running with " (deleted)"; the name it ran under is still its name.
std::string ExecutableNameOf(uint32_t processId) {
    std::string link = "/proc/" + std::to_string(processId) + "/exe";
    char buffer[PATH_MAX];
    ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    std::string path(buffer, static_cast<size_t>(n));
    static const std::string kDeleted = " (deleted)";
    if (path.size() > kDeleted.size() &&
        path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
        path.resize(path.size() - kDeleted.size());
    }
    return FileNamePart(path);
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

struct SpawnActions {
    posix_spawn_file_actions_t actions;
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
};

}  // namespace

std::vector<ProcessEntry> ListProcesses() {
    std::vector<ProcessEntry> processes;
    std::unique_ptr<DIR, DirCloser> dir(::opendir("/proc"));
    if (!dir) return processes;
    while (dirent* entry = ::readdir(dir.get())) {
        ProcessEntry process;
        if (!ParseProcessId(entry->d_name, process.processId)) continue;
        process.executableName = ExecutableNameOf(process.processId);
        processes.push_back(std::move(process));
    }
    return processes;
}

int SpawnProcess(const std::string& path, const std::vector<std::string>& arguments,
                 const std::string& workingDirectory, uint32_t* processId) {
    std::vector<std::string> texts;
    texts.reserve(arguments.size() + 1);
    texts.push_back(path);
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);

    SpawnActions actions;
    if (!workingDirectory.empty()) {
        int error = posix_spawn_file_actions_addchdir_np(&actions.actions, workingDirectory.c_str());
        if (error != 0) return error;
    }
    pid_t child = 0;
    int error = ::posix_spawn(&child, path.c_str(), &actions.actions, nullptr, argv.data(), environ);
    if (error != 0) return error;
    if (processId) *processId = static_cast<uint32_t>(child);
    return 0;
}

bool MakeExecutable(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return false;
    return ::chmod(path.c_str(), (info.st_mode & 07777) | S_IRUSR | S_IXUSR) == 0;
}

namespace {

int ExitCodeOfStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

bool WaitForProcess(uint32_t processId, int* exitCode) {
    int status = 0;
    pid_t ended;
    do {
        ended = ::waitpid(static_cast<pid_t>(processId), &status, 0);
    } while (ended < 0 && errno == EINTR);
    if (ended != static_cast<pid_t>(processId)) return false;
    if (exitCode) *exitCode = ExitCodeOfStatus(status);
    return true;
}

bool ProcessHasEnded(uint32_t processId, int* exitCode) {
    int status = 0;
    pid_t ended = ::waitpid(static_cast<pid_t>(processId), &status, WNOHANG);
    if (ended == 0) return false;
    if (exitCode) *exitCode = ended == static_cast<pid_t>(processId) ? ExitCodeOfStatus(status) : -1;
    return true;
}

void BringProcessWindowsToFront(uint32_t) {}

}  // namespace HY_OS
