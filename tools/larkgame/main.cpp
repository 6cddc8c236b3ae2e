// larkgame: the sample game client the launcher starts. It tells the launcher that it is up by
// setting the start-up event, shows the command line and working directory it was given, and
// exits. For tests, the environment changes what it does:
//   LARKGAME_NO_SIGNAL=1   never set the start-up event
//   LARKGAME_EXIT=<n>      exit with code n
//   LARKGAME_EVENT=<name>  the event to set, in place of "HYStartupEvent" (tests running side by
//                          side each use their own)
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "OsEnv.h"
#include "OsFile.h"
#include "OsNamedEvent.h"

namespace {

// The launcher passes "-U ..<account id> <pass key> <account name>"; the pass key is a
// credential and is never shown.
bool IsAccountIdArgument(const char* argument) {
    if (std::strncmp(argument, "..", 2) != 0 || argument[2] == '\0') return false;
    for (const char* c = argument + 2; *c != '\0'; ++c)
        if (*c < '0' || *c > '9') return false;
    return true;
}

std::string ShownCommandLine(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        bool passKey = i > 2 && std::strcmp(argv[i - 2], "-U") == 0 && IsAccountIdArgument(argv[i - 1]);
        line += passKey ? "***" : argv[i];
    }
    return line;
}

bool ExitCodeFromEnvironment(int* code) {
    std::string text;
    if (!HY_OS::GetEnv("LARKGAME_EXIT", text) || text.empty()) return true;
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < INT_MIN || value > INT_MAX) {
        std::fprintf(stderr, "larkgame: LARKGAME_EXIT is not a number: %s\n", text.c_str());
        return false;
    }
    *code = static_cast<int>(value);
    return true;
}

void SignalStartup() {
    std::string flag;
    if (HY_OS::GetEnv("LARKGAME_NO_SIGNAL", flag) && flag == "1") {
        std::fprintf(stderr, "larkgame: not setting the start-up event (LARKGAME_NO_SIGNAL)\n");
        return;
    }
    std::string name;
    if (!HY_OS::GetEnv("LARKGAME_EVENT", name) || name.empty()) name = "HYStartupEvent";
    auto event = HY_OS::NamedEvent::Open(name);
    if (!event) {
        // Started by hand rather than by the launcher: nobody waits, and the game goes on.
        std::fprintf(stderr, "larkgame: no start-up event \"%s\" to set (%s); going on\n",
                     name.c_str(), std::strerror(errno));
        return;
    }
    if (!event->Set()) {
        std::fprintf(stderr, "larkgame: could not set the start-up event \"%s\": %s\n",
                     name.c_str(), std::strerror(errno));
    }
}

}  // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    if (!ExitCodeFromEnvironment(&exitCode)) return 2;
    std::printf("larkgame: %s\n", ShownCommandLine(argc, argv).c_str());
    std::printf("larkgame: working directory %s\n", HY_OS::GetCurrentDirectory().c_str());
    std::fflush(stdout);
    SignalStartup();
    return exitCode;
}
