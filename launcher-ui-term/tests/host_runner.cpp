#include "host_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace termtest {

namespace {

[[noreturn]] void ExecHost(const HostSetup& setup) {
    if (!setup.directory.empty() && chdir(setup.directory.c_str()) != 0) _exit(126);
    if (!setup.configHome.empty()) setenv("XDG_CONFIG_HOME", setup.configHome.c_str(), 1);
    setenv("TERM", setup.terminalType.c_str(), 1);
    std::vector<char*> argv;
    std::string host = TERM_HOST, library = TERM_LIBRARY;
    argv.push_back(host.data());
    argv.push_back(library.data());
    std::vector<std::string> arguments = setup.arguments;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execv(host.c_str(), argv.data());
    _exit(127);
}

int Reap(int pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ReadAll(int fd, std::string& into) {
    char buffer[4096];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        into.append(buffer, static_cast<size_t>(got));
    }
}

}  // namespace

HostRun RunOnPipes(const HostSetup& setup, const std::string& input, bool closeInput) {
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return {};
    signal(SIGPIPE, SIG_IGN);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
        ExecHost(setup);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    // The input is small (well below a pipe's buffer), so writing it first cannot block.
    if (!input.empty() && write(in[1], input.data(), input.size()) < 0) {
    }
    if (closeInput) close(in[1]);
    HostRun run;
    // Standard error is read after standard output; the host writes little to it.
    ReadAll(out[0], run.output);
    ReadAll(err[0], run.errors);
    close(out[0]);
    close(err[0]);
    run.status = Reap(pid);
    if (!closeInput) close(in[1]);
    return run;
}

PtyHost::PtyHost(const HostSetup& setup) {
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 100;
    pid_t pid = forkpty(&m_master, nullptr, nullptr, &size);
    if (pid == 0) ExecHost(setup);
    m_pid = pid;
}

PtyHost::~PtyHost() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        Reap(m_pid);
    }
    if (m_master >= 0) close(m_master);
}

bool PtyHost::ReadSome(int timeoutMs) {
    pollfd entry{m_master, POLLIN, 0};
    if (poll(&entry, 1, timeoutMs) <= 0) return false;
    char buffer[4096];
    ssize_t got = read(m_master, buffer, sizeof buffer);
    // EIO: the host has ended and closed the terminal.
    if (got <= 0) return false;
    m_output.append(buffer, static_cast<size_t>(got));
    return true;
}

bool PtyHost::WaitFor(const std::string& text) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (m_output.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > until || !ReadSome(500)) {
            if (std::chrono::steady_clock::now() > until) return false;
            // Nothing yet: go on waiting unless the host has ended.
            int status;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                while (ReadSome(0)) {
                }
                return m_output.find(text) != std::string::npos;
            }
        }
    }
    return true;
}

void PtyHost::Type(const std::string& text) {
    if (write(m_master, text.data(), text.size()) < 0) {
    }
}

void PtyHost::Signal(int signal) {
    if (m_pid > 0) kill(m_pid, signal);
}

bool PtyHost::EchoOn() const {
    termios modes{};
    tcgetattr(m_master, &modes);
    return (modes.c_lflag & ECHO) != 0;
}

HostRun PtyHost::Finish() {
    HostRun run;
    run.status = m_status;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
        if (!ReadSome(200)) {
            if (m_pid < 0) break;
            int status;
            pid_t done = waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid) {
                m_pid = -1;
                run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                while (ReadSome(0)) {
                }
                break;
            }
        }
    }
    run.output = m_output;
    return run;
}

}  // namespace termtest
