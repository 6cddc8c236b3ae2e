// The process search, the same on every platform over the platform's process list.
#include "OsProcess.h"

namespace HY_OS {

uint32_t FindProcessByExecutableName(const std::string& executableName,
                                     uint32_t excludeProcessId) {
    if (executableName.empty()) return 0;
    for (const ProcessEntry& process : ListProcesses()) {
        if (process.processId != excludeProcessId && process.executableName == executableName)
            return process.processId;
    }
    return 0;
}

}  // namespace HY_OS
