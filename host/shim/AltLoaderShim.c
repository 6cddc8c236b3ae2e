/* The host's stand-in for wine64-preloader in its private Wine tree.
 *
 * Wine execs "<loader dir>/wine64-preloader <loader> <program> <args>..." for every new Windows
 * process. When the host's alternate-loader socket is named in the environment, this is a child
 * process (Wine passed its server socket in WINESERVERSOCKET) and the program is the one the start
 * script asked for, the shim hands the program over to the host: it sends its working directory,
 * environment, arguments, standard streams, the server socket and the write end of a pipe, then
 * waits until that pipe closes, which happens when the host process (now the program's process)
 * ends. Everything else (the first Wine process, wineboot, services, other programs, or a host
 * that refuses) runs the real loader as usual.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

extern char** environ;

enum { kRequest64 = 0x52C17357, kResponse = 0x52C17356, kLaunched = 289 };

static const char* BaseName(const char* path) {
    const char* base = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') base = p + 1;
    return base;
}

/* True when `program` (a Windows or Unix path) names the target program of the start script. */
static int IsTarget(const char* program) {
    const char* target = getenv("PT_ALT_LOADER_TARGET");
    if (target == NULL || *target == '\0' || program == NULL) return 0;
    return strcasecmp(BaseName(program), BaseName(target)) == 0;
}

static int WriteAll(int fd, const void* data, size_t size) {
    const char* p = data;
    while (size > 0) {
        ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        p += n;
        size -= (size_t)n;
    }
    return 0;
}

static int SendBuffer(int fd, const char* data, uint64_t length) {
    if (WriteAll(fd, &length, sizeof(length)) != 0) return -1;
    return length == 0 ? 0 : WriteAll(fd, data, length);
}

/* Joins strings with their terminating NULs; `first` (when not NULL) comes before the list. */
static char* JoinStrings(const char* first, char* const* list, uint64_t* length) {
    size_t total = first ? strlen(first) + 1 : 0;
    for (char* const* p = list; *p; ++p) total += strlen(*p) + 1;
    char* out = malloc(total ? total : 1);
    if (out == NULL) return NULL;
    size_t at = 0;
    if (first) {
        memcpy(out, first, strlen(first) + 1);
        at = strlen(first) + 1;
    }
    for (char* const* p = list; *p; ++p) {
        memcpy(out + at, *p, strlen(*p) + 1);
        at += strlen(*p) + 1;
    }
    *length = total;
    return out;
}

/* Tells the host's launch feedback that the program has started. */
static void NotifyLaunched(void) {
    const char* path = getenv("PT_LAUNCH_NOTIFY_SOCKET");
    if (path == NULL || *path == '\0' || strlen(path) >= sizeof(((struct sockaddr_un*)0)->sun_path))
        return;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    struct sockaddr_un address;
    memset(&address, 0, sizeof(address));
    address.sun_family = AF_UNIX;
    strcpy(address.sun_path, path);
    if (connect(fd, (struct sockaddr*)&address, sizeof(address)) == 0) {
        uint32_t value = kLaunched;
        WriteAll(fd, &value, sizeof(value));
    }
    close(fd);
}

/* Sends the request; answers 1 when the host took the program over. On success `waitRead`
 * holds the read end of the wait-for-children pipe. */
static int HandOver(const char* socketPath, int serverFd, char** programArgs, int* waitRead) {
    if (strlen(socketPath) >= sizeof(((struct sockaddr_un*)0)->sun_path)) return 0;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    struct sockaddr_un address;
    memset(&address, 0, sizeof(address));
    address.sun_family = AF_UNIX;
    strcpy(address.sun_path, socketPath);
    if (connect(fd, (struct sockaddr*)&address, sizeof(address)) != 0) {
        close(fd);
        return 0;
    }
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        close(fd);
        return 0;
    }
    int ok = 0;
    char* cwd = getcwd(NULL, 0);
    uint64_t envLength = 0, argLength = 0;
    char* env = JoinStrings(NULL, environ, &envLength);
    /* An empty first argument: the host supplies the loader path from WINELOADER. */
    char* args = JoinStrings("", programArgs, &argLength);
    uint32_t type = kRequest64;
    if (env && args && WriteAll(fd, &type, sizeof(type)) == 0 &&
        SendBuffer(fd, cwd, cwd ? strlen(cwd) + 1 : 0) == 0 &&
        SendBuffer(fd, env, envLength) == 0 && SendBuffer(fd, args, argLength) == 0) {
        int fds[5] = {0, 1, 2, serverFd, pipeFds[1]};
        char data = 0;
        struct iovec iov = {&data, 1};
        union {
            char buffer[CMSG_SPACE(sizeof(fds))];
            struct cmsghdr align;
        } control;
        struct msghdr msg;
        memset(&msg, 0, sizeof(msg));
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control.buffer;
        msg.msg_controllen = sizeof(control.buffer);
        struct cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(fds));
        memcpy(CMSG_DATA(c), fds, sizeof(fds));
        ssize_t sent;
        do {
            sent = sendmsg(fd, &msg, MSG_NOSIGNAL);
        } while (sent < 0 && errno == EINTR);
        if (sent == 1 && shutdown(fd, SHUT_WR) == 0) {
            uint32_t response = 0;
            size_t got = 0;
            while (got < sizeof(response)) {
                ssize_t n = recv(fd, (char*)&response + got, sizeof(response) - got, 0);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                got += (size_t)n;
            }
            ok = got == sizeof(response) && response == kResponse;
        }
    }
    free(cwd);
    free(env);
    free(args);
    close(fd);
    close(pipeFds[1]);
    if (ok)
        *waitRead = pipeFds[0];
    else
        close(pipeFds[0]);
    return ok;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s <wine loader> [program [arguments...]]\n", argv[0]);
        return 1;
    }
    const char* socketPath = getenv("PT_WINEWRAPPER_ALT_LOADER_SOCKET");
    const char* serverSocket = getenv("WINESERVERSOCKET");
    if (socketPath && *socketPath && serverSocket && *serverSocket && argc >= 3 &&
        IsTarget(argv[2])) {
        int waitRead = -1;
        if (HandOver(socketPath, atoi(serverSocket), argv + 2, &waitRead)) {
            NotifyLaunched();
            /* Our copies of the streams and the server socket are not needed any more. */
            close(atoi(serverSocket));
            char byte;
            for (;;) {
                ssize_t n = read(waitRead, &byte, 1);
                if (n == 0 || (n < 0 && errno != EINTR)) break;
            }
            return 0;
        }
    }
    if (argc >= 3 && IsTarget(argv[2])) NotifyLaunched();
    execv(argv[1], argv + 1);
    fprintf(stderr, "%s: cannot run the Wine loader %s: %s\n", argv[0], argv[1], strerror(errno));
    return 1;
}
