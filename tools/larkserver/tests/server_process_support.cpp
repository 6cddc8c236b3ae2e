#include "server_process_support.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

pid_t StartServer(const std::vector<std::string>& args, size_t lineCount,
                  std::vector<std::string>& lines) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        std::vector<char*> argv{const_cast<char*>(LARKSERVER_PATH)};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(LARKSERVER_PATH, argv.data());
        _exit(127);
    }
    close(fds[1]);
    // Reads with a time limit, so a server that prints less than expected fails the test
    // instead of stopping it.
    std::string pending;
    while (lines.size() < lineCount) {
        size_t end = pending.find('\n');
        if (end != std::string::npos) {
            lines.push_back(pending.substr(0, end + 1));
            pending.erase(0, end + 1);
            continue;
        }
        pollfd readable{fds[0], POLLIN, 0};
        char block[512];
        ssize_t n = poll(&readable, 1, 20000) == 1 ? read(fds[0], block, sizeof block) : 0;
        if (n <= 0) break;
        pending.append(block, static_cast<size_t>(n));
    }
    close(fds[0]);
    return pid;
}

uint16_t ListeningPort(const std::vector<std::string>& lines, const std::string& role) {
    const std::string prefix = "larkserver: " + role + " server listening on ";
    for (const std::string& line : lines) {
        if (line.rfind(prefix, 0) != 0) continue;
        size_t colon = line.rfind(':');
        return static_cast<uint16_t>(std::atoi(line.c_str() + colon + 1));
    }
    return 0;
}

int StopServer(pid_t pid) {
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
