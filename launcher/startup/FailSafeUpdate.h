// The fail-safe update check: before anything else runs, the launcher asks the fail-safe address
// whether a replacement program exists for its own build (named by the CRC of its file). If one
// does, it is downloaded, checked against the CRC the server announced, and started in place of
// the launcher.
#pragma once

#include <cstdint>
#include <string>

// `CrcUpdate` over all bytes of the file, starting from 0; 0 when the file cannot be read.
uint32_t LaunchFileCrc(const std::string& path);

enum FailSafeResult {
    FS_Continue = 0,      // no fail-safe program was started; start-up goes on
    FS_PatchStarted = 1,  // the fail-safe program runs; the launcher must exit
};

// Runs the check for the launcher file `exePath` in `exeDirectory` against `failSafeUrl` (which
// must not be empty). Failures are logged (a missing patch information file silently) and never
// stop start-up.
FailSafeResult RunFailSafeUpdateCheck(const std::string& failSafeUrl, const std::string& exePath,
                                      const std::string& exeDirectory);
