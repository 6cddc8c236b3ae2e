// Writes a crash dump in the minidump format (the MINIDUMP_* structures that debuggers read):
// system information, the threads with their registers and stack memory, the modules, the
// exception, the memory list and the process's memory map. Signal-safe: it works from static
// storage and writes through the system-call seam (so tests can fill the disk).
#pragma once

#include "OsCrash.h"

namespace HY_OS {

struct MiniDumpRequest {
    const CrashInfo* crash = nullptr;
    // The crashing thread first, then the other registered threads (see StopCrashThreads).
    const CrashThread* threads = nullptr;
    int threadCount = 0;
    // Adds every writable mapping to the memory list.
    bool fullMemory = false;
};

// Writes the dump to `fd` from its current position; false when a write failed (errno tells
// why). Reads the memory map again first.
bool WriteMiniDump(int fd, const MiniDumpRequest& request);

}  // namespace HY_OS
