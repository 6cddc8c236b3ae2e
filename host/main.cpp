// larkhost: runs the Windows launcher through Wine inside this process.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <limits.h>

#include "WineLoader.h"

int main(int argc, char** argv) {
    char exe[PATH_MAX] = {};
    ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    std::string root(exe, n > 0 ? n : 0);
    for (int i = 0; i < 3; ++i) root = root.substr(0, root.rfind('/'));
    larkhost::WineLoaderOptions options;
    options.porticoRoot = root;
    auto loader = larkhost::WineLoader::Create(options);
    setenv("PT_ROOT", root.c_str(), 1);
    setenv("PT_WINEWRAPPER_ALT_LOADER_SOCKET", loader->SocketPath().c_str(), 1);
    fprintf(stderr, "host pid %d root %s\n", getpid(), root.c_str());
    std::string cmd = root + "/bin/launcher";
    pid_t child = fork();
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", cmd.c_str(), (char*)nullptr);
        _exit(127);
    }
    int status;
    waitpid(child, &status, 0);
    fprintf(stderr, "task ended %d\n", status);
    sleep(2);
    return 0;
}
