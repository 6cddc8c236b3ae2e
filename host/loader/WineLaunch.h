// Turning an approved request into the start of a Windows program inside this process: the
// environment, argument vector and descriptors Wine's core library is called with, and the call.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "LoaderWire.h"

namespace larkhost {

// The entry point of Wine's core library: argc, argv, envp.
using WineMainFunction = void (*)(int, char**, char**);

struct WineLaunch {
    std::optional<std::string> workingDirectory;
    std::vector<std::string> environment;  // the process environment to install, in order
    std::vector<std::string> arguments;    // argv; the first is never empty
    ReceivedDescriptors descriptors;       // stdin, stdout, stderr, server socket, [pipe]
};

// Builds the launch of a request: the received environment without the wait-for-children and
// loader-socket entries, plus "WINESERVERSOCKET" (the server socket's descriptor number),
// "WINE_WAIT_CHILD_PIPE" when the pipe came with the request, and "WINELOADERNOEXEC=1" so the
// core library does not exec a new loader. An empty first argument becomes the "WINELOADER" of
// the received environment, or else `porticoRoot`/bin/wineloader64. False, after logging "failed
// to construct wineloader path string", when no loader path can be made.
bool PrepareWineLaunch(LoaderRequest&& request, const std::string& porticoRoot, WineLaunch& launch);

// Installs the launch in this process and calls `entry`: re-maps the reserved ranges, changes to
// the working directory, replaces the environment, puts the standard descriptors on 0, 1 and 2,
// marks the server socket close-on-exec. Wine's entry does not return; when an entry does, this
// returns its control to the caller.
void RunWineLaunch(WineLaunch&& launch, WineMainFunction entry);

}  // namespace larkhost
