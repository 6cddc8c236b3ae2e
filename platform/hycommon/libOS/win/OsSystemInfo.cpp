#include "OsSystemInfo.h"

#include <windows.h>

namespace HY_OS {

bool GetMemoryFigures(MemoryFigures& figures) {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return false;
    figures.totalPhysical = status.ullTotalPhys;
    figures.availablePhysical = status.ullAvailPhys;
    figures.totalVirtual = status.ullTotalVirtual;
    figures.availableVirtual = status.ullAvailVirtual;
    return true;
}

std::string GetProcessorIdentifier() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return {};
    char value[256] = {};
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    LONG result = RegQueryValueExA(key, "Identifier", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
    value[size < sizeof value ? size : sizeof value - 1] = '\0';
    return value;
}

bool RunsWindowsProgramsDirectly() { return true; }

std::string FindProgramOnPath(const std::string& name) {
    if (name.empty()) return {};
    if (name.find_first_of("/\\:") != std::string::npos) {
        DWORD attributes = GetFileAttributesA(name.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return {};
        return name;
    }
    char found[MAX_PATH] = {};
    DWORD length = SearchPathA(nullptr, name.c_str(), ".exe", MAX_PATH, found, nullptr);
    if (length == 0 || length >= MAX_PATH) return {};
    return found;
}

}  // namespace HY_OS
