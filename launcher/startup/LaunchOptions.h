// The per-run values the launcher takes from its command line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct LaunchOptions {
    bool runFlag = false;                  // -r: started the normal way (not by hand)
    uint64_t userId = 0;                   // -u: account id handed over by a relaunch
    std::string passKey;                   // -p: login pass key handed over by a relaunch
    std::string jSessionId;                // -j: web session id handed over by a relaunch
    bool noRestartAfterLeadPatch = false;  // -1: go on to the game patch after a self-update
    bool restartAfterLogin = false;        // -2: relaunch right after signing in
    bool forceDownload = false;            // -3: handed to the patcher
    bool validateWads = true;              // not on the command line; handed to the patcher
    bool paidAccount = false;              // -s: started for a paying account
    std::string userName;                  // -n: account name handed over by a relaunch
};

// Parses the launcher's command line by its table of nine options. An unknown option letter
// prints the usage listing to standard error and stops parsing; values parsed before it stay.
// `argv` may be reordered (non-option arguments move to the front).
LaunchOptions ParseLaunchOptions(int argc, char** argv);

// The same, printing to `errors`; answers what the parser answered (-1 after an unknown letter).
int ParseLaunchOptionsTo(std::FILE* errors, int argc, char** argv, LaunchOptions& options);
