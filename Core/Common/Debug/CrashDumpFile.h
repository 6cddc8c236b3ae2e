// The crash dump file: its name, the removal of older dumps, and its writing with the log
// lines that tell how it went. Signal-safe.
#pragma once

#include <cstddef>

#include "OsCrash.h"

struct CrashDumpNaming {
    const char* directory = "";  // empty: the current directory
    const char* reportId = "";
    bool timeStamped = false;
};

// "<directory><program>_<report id>.<HHMMSS-mmdd>.dmp" with time-stamped names, else
// "<directory><program>_<report id>.dmp"; a '/' is put after a directory that lacks one. False
// when the program's file name cannot be found or the path does not fit.
bool CrashDumpPath(const CrashDumpNaming& naming, char* out, size_t size);

// Deletes every "*.dmp" file of the directory (empty: the current directory).
void DeleteOldDumps(const char* directory);

// Logs "Started writing crash dump file...", names the file (deleting older dumps when names
// are not time-stamped), creates and writes it, and logs "SUCCEEDED writing crash dump file %s."
// or the failure ("FAILED to write crash dump file: ..."). A dump that could not be written
// whole is deleted. Answers whether the dump was written.
bool WriteCrashDumpFile(const CrashDumpNaming& naming, bool fullMemory,
                        const HY_OS::CrashInfo& crash, const HY_OS::CrashThread* threads,
                        int threadCount);
