// Reading the texts Linux gives about memory and processors. Plain text handling, so every
// platform's tests can check it.
#include <cstdio>
#include <sstream>

#include "OsSystemInfo.h"

namespace HY_OS {
namespace {

// The number after "Key:" in a text of "Key: value" lines; false when missing.
bool FindValue(const std::string& text, const std::string& key, uint64_t& value) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
        if (name != key) continue;
        unsigned long long number = 0;
        if (std::sscanf(line.c_str() + colon + 1, "%llu", &number) != 1) return false;
        value = number;
        return true;
    }
    return false;
}

}  // namespace

bool MemoryFiguresFromMeminfo(const std::string& meminfo, MemoryFigures& figures) {
    uint64_t total = 0, available = 0, swapTotal = 0, swapFree = 0;
    if (!FindValue(meminfo, "MemTotal", total) || !FindValue(meminfo, "MemAvailable", available)) return false;
    FindValue(meminfo, "SwapTotal", swapTotal);
    FindValue(meminfo, "SwapFree", swapFree);
    // The text counts in KiB.
    figures.totalPhysical = total << 10;
    figures.availablePhysical = available << 10;
    figures.totalVirtual = (total + swapTotal) << 10;
    figures.availableVirtual = (available + swapFree) << 10;
    return true;
}

std::string ProcessorIdentifierFromCpuInfo(const std::string& cpuinfo) {
    // The first processor's block ends at the first empty line.
    std::string first = cpuinfo.substr(0, cpuinfo.find("\n\n"));
    uint64_t family = 0, model = 0, stepping = 0;
    if (!FindValue(first, "cpu family", family) || !FindValue(first, "model", model) ||
        !FindValue(first, "stepping", stepping))
        return {};
    char text[96];
    std::snprintf(text, sizeof text, "x86 Family %llu Model %llu Stepping %llu",
                  static_cast<unsigned long long>(family), static_cast<unsigned long long>(model),
                  static_cast<unsigned long long>(stepping));
    return text;
}

}  // namespace HY_OS
