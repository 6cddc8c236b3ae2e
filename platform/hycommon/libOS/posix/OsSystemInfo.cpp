#include "OsSystemInfo.h"

#include <sys/sysinfo.h>
#include <unistd.h>

#include "OsEnv.h"
#include "OsFile.h"

namespace HY_OS {

bool GetMemoryFigures(MemoryFigures& figures) {
    std::string meminfo;
    if (ReadWholeFile("/proc/meminfo", meminfo) && MemoryFiguresFromMeminfo(meminfo, figures)) return true;
    struct sysinfo info {};
    if (::sysinfo(&info) != 0) return false;
    auto bytes = [&](unsigned long count) { return static_cast<uint64_t>(count) * info.mem_unit; };
    figures.totalPhysical = bytes(info.totalram);
    figures.availablePhysical = bytes(info.freeram);
    figures.totalVirtual = bytes(info.totalram) + bytes(info.totalswap);
    figures.availableVirtual = bytes(info.freeram) + bytes(info.freeswap);
    return true;
}

std::string GetProcessorIdentifier() {
    std::string cpuinfo;
    ReadWholeFile("/proc/cpuinfo", cpuinfo);
    return ProcessorIdentifierFromCpuInfo(cpuinfo);
}

bool RunsWindowsProgramsDirectly() { return false; }

std::string FindProgramOnPath(const std::string& name) {
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos)
        return ::access(name.c_str(), X_OK) == 0 && !IsDirectory(name) ? name : std::string();
    std::string path;
    if (!GetEnv("PATH", path)) path = "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        std::string folder = path.substr(start, end - start);
        std::string candidate = JoinPath(folder.empty() ? "." : folder, name);
        if (::access(candidate.c_str(), X_OK) == 0 && !IsDirectory(candidate)) return candidate;
        start = end + 1;
    }
    return {};
}

}  // namespace HY_OS
