#include "crash_test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>

#include "OsFile.h"

namespace crashtest {

namespace {

void Drain(int fd, std::string& into, bool& open) {
    char buffer[4096];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
        into.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        open = false;
    }
}

}  // namespace

ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments,
                     int limitSeconds, bool traced);

ChildResult Run(const std::string& program, const std::vector<std::string>& arguments,
                int limitSeconds) {
    return RunChild(program, arguments, limitSeconds, false);
}

ChildResult RunTraced(const std::string& program, const std::vector<std::string>& arguments,
                      int limitSeconds) {
    return RunChild(program, arguments, limitSeconds, true);
}

ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments,
                     int limitSeconds, bool traced) {
    ChildResult result;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return result;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = fork();
    if (child == 0) {
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        if (traced) ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);
    bool outOpen = true, errOpen = true, waited = false, execSeen = !traced;
    int status = 0;
    while (outOpen || errOpen || !waited) {
        if (std::chrono::steady_clock::now() > deadline) {
            result.hung = true;
            kill(child, SIGKILL);
            if (!waited) waitpid(child, &status, 0);
            waited = true;
            break;
        }
        if (!waited && waitpid(child, &status, WNOHANG) == child) {
            if (WIFSTOPPED(status)) {
                // The stop after exec is the tracer's own; every other signal goes on.
                int signal = WSTOPSIG(status);
                bool execStop = signal == SIGTRAP && !execSeen;
                execSeen = true;
                if (!execStop) result.stops.push_back(signal);
                ptrace(PTRACE_CONT, child, nullptr, reinterpret_cast<void*>(static_cast<intptr_t>(execStop ? 0 : signal)));
            } else {
                waited = true;
            }
        }
        pollfd fds[2] = {{outOpen ? out[0] : -1, POLLIN, 0}, {errOpen ? err[0] : -1, POLLIN, 0}};
        poll(fds, 2, 20);
        if (outOpen && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) Drain(out[0], result.out, outOpen);
        if (errOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) Drain(err[0], result.err, errOpen);
    }
    close(out[0]);
    close(err[0]);
    if (!result.hung) {
        if (WIFEXITED(status)) {
            result.exited = true;
            result.code = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            result.signal = WTERMSIG(status);
        }
    }
    return result;
}

std::string VictimPath() { return CRASH_VICTIM_PATH; }
std::string ReportProgramPath() { return CRASH_REPORT_PROGRAM_PATH; }

std::string LldbBacktrace(const std::string& dumpPath) {
    ChildResult lldb = Run("/usr/bin/lldb", {"--batch", "--no-lldbinit", "-c", dumpPath, "-o",
                                             "thread backtrace"}, 120);
    return lldb.out;
}

std::string ReadFile(const std::string& path) {
    std::string text;
    HY_OS::ReadWholeFile(path, text);
    return text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::vector<std::string> DumpFiles(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* listing = opendir(directory.c_str())) {
        while (dirent* entry = readdir(listing)) {
            std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dmp") == 0) names.push_back(name);
        }
        closedir(listing);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace crashtest
