/* A Windows console program for the host's tests: reports what it was started with. It writes
 * one line per fact to standard output, reads one line from standard input, writes a marker to
 * standard error and exits with the code given as "--exit=N" (0 otherwise). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

/* The id of the Unix process this program runs in, asked of the kernel directly (getpid is
 * system call 39 on x86-64 Linux; Wine does not intercept system calls there). Files such as
 * /proc/self cannot tell: Wine's server opens files on the program's behalf. */
static long UnixPid(void) {
    long result;
    __asm__ volatile("syscall" : "=a"(result) : "a"(39L) : "rcx", "r11", "memory");
    return result;
}

int main(int argc, char** argv) {
    int code = 0;
    for (int i = 0; i < argc; ++i) {
        printf("arg%d=%s\n", i, argv[i]);
        if (strncmp(argv[i], "--exit=", 7) == 0) code = atoi(argv[i] + 7);
    }
    char cwd[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof(cwd), cwd);
    printf("cwd=%s\n", cwd);
    const char* probe = getenv("LARK_PROBE");
    printf("env=%s\n", probe ? probe : "(unset)");
    printf("unixpid=%ld\n", UnixPid());
    char line[256] = "";
    if (fgets(line, sizeof(line), stdin)) {
        line[strcspn(line, "\r\n")] = 0;
        printf("stdin=%s\n", line);
    }
    fprintf(stderr, "probe-stderr\n");
    fflush(stdout);
    fflush(stderr);
    return code;
}
