#include "WineLaunch.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "LogMessage.h"
#include "ReservedRanges.h"

namespace larkhost {
namespace {

constexpr const char* kCategory = "HOST_LOADER";

bool HasPrefix(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// The strings handed to the core library live for the rest of the process.
char* Keep(const std::string& s) {
    char* copy = static_cast<char*>(std::malloc(s.size() + 1));
    if (copy != nullptr) std::memcpy(copy, s.c_str(), s.size() + 1);
    return copy;
}

}  // namespace

bool PrepareWineLaunch(LoaderRequest&& request, const std::string& porticoRoot,
                       WineLaunch& launch) {
    launch.workingDirectory = std::move(request.workingDirectory);
    launch.environment.clear();
    std::string wineLoader;
    bool haveNoExec = false;
    for (auto& entry : request.environment) {
        // Both names are exactly 20 characters long: the comparison covers the first 20.
        if (HasPrefix(entry, "WINE_WAIT_CHILD_PIPE") || HasPrefix(entry, "PT_ALT_LOADER_SOCKET"))
            continue;
        if (HasPrefix(entry, "WINESERVERSOCKET=")) continue;  // replaced below
        if (HasPrefix(entry, "WINELOADER=")) wineLoader = entry.substr(std::strlen("WINELOADER="));
        if (HasPrefix(entry, "WINELOADERNOEXEC=")) haveNoExec = true;
        launch.environment.push_back(std::move(entry));
    }
    launch.arguments = std::move(request.arguments);
    if (launch.arguments[0].empty()) {
        if (!wineLoader.empty())
            launch.arguments[0] = wineLoader;
        else if (!porticoRoot.empty())
            launch.arguments[0] = porticoRoot + "/bin/wineloader64";
        else {
            HY_LOG(LL_Error, kCategory, "WineLoaderClientConnection::PrepareWineLaunch",
                   "failed to construct wineloader path string");
            return false;
        }
    }
    launch.environment.push_back("WINESERVERSOCKET=" + std::to_string(request.descriptors[3]));
    if (request.HasWaitChildPipe())
        launch.environment.push_back("WINE_WAIT_CHILD_PIPE=" +
                                     std::to_string(request.descriptors[4]));
    if (!haveNoExec) launch.environment.push_back("WINELOADERNOEXEC=1");
    launch.descriptors = std::move(request.descriptors);
    return true;
}

void RunWineLaunch(WineLaunch&& launch, WineMainFunction entry) {
    const char* fn = "WineLoaderClientConnection::RunWineLaunch";
    RemapReservedRanges();
    if (launch.workingDirectory && chdir(launch.workingDirectory->c_str()) != 0)
        HY_LOG(LL_Warning, kCategory, fn, "cannot change to the working directory %s; errno %d",
               launch.workingDirectory->c_str(), errno);

    clearenv();
    for (const auto& entry : launch.environment) putenv(Keep(entry));

    for (int i = 0; i < 3; ++i) {
        int fd = launch.descriptors.Release(i);
        if (fd != i) {
            dup2(fd, i);
            close(fd);
        }
    }
    int server = launch.descriptors.Release(3);
    int flags = fcntl(server, F_GETFD);
    if (flags < 0 || fcntl(server, F_SETFD, flags | FD_CLOEXEC) < 0)
        HY_LOG(LL_Error, kCategory, fn,
               "%s: failed to set received Wine server socket to close-on-exec; errno %d", fn,
               errno);
    if (launch.descriptors.Count() > 4) {
        // The wait-for-children pipe stays open for the life of the program: its closing at
        // process exit is what tells the waiting side that the program has ended.
        launch.descriptors.Release(4);
    }

    std::vector<char*> argv;
    for (const auto& a : launch.arguments) argv.push_back(Keep(a));
    argv.push_back(nullptr);
    entry(static_cast<int>(argv.size() - 1), argv.data(), environ);
}

}  // namespace larkhost
