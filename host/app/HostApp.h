// The larkhost program: reads its command line, sets up the log, the defaults, the setup
// library, the alternate loader and the application logic, and runs the main loop.
#pragma once

#include <string>
#include <vector>

namespace larkhost {

struct HostCommandLine {
    std::string bottle;                  // --bottle NAME: the bottle for URLs and documents
    std::vector<std::string> urls;       // arguments with a URL scheme
    std::vector<std::string> documents;  // other arguments: files, made absolute
    bool help = false;
    bool runCommand = false;  // --run-command: open the run-command window at start
    std::string error;        // set when the command line is unusable
};

HostCommandLine ParseHostCommandLine(const std::vector<std::string>& args);

// The installation root of a host executable at <root>/lib/wine/larkhost.
std::string PorticoRootForExecutable(const std::string& executable);

// Runs the host; answers the process's exit status.
int RunHost(int argc, char** argv);

}  // namespace larkhost
