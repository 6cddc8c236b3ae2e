#include "WinHandle.h"

#include "OsEnv.h"
#include "OsHost.h"

namespace HY_OS {

int GetSystemHostName(std::string& name) {
    char buffer[256] = {};
    DWORD size = sizeof buffer;
    if (!GetComputerNameExA(ComputerNameDnsHostname, buffer, &size)) {
        name.clear();
        return -1;
    }
    name.assign(buffer, size);
    return 0;
}

uint32_t GetProcessId() { return ::GetCurrentProcessId(); }

std::string GetExecutablePath() {
    char buffer[MAX_PATH * 4];
    DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return {};
    return std::string(buffer, n);
}

bool IsDebuggerAttached() { return IsDebuggerPresent() != 0; }

void BreakIntoDebugger() { DebugBreak(); }

bool HasGraphicalDisplay() { return true; }

namespace {

// Under Wine, ntdll names the host system: macOS gives 1, any other host (Linux) 0. On Windows
// the version comes from RtlGetVersion, which, unlike GetVersionEx, is not capped at the
// version the program's manifest declares.
int ComputeOsCode() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr) return 100;
    using HostVersion = void(CDECL*)(const char** sysname, const char** release);
    if (auto hostVersion = reinterpret_cast<HostVersion>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_host_version")))) {
        const char* sysname = nullptr;
        const char* release = nullptr;
        hostVersion(&sysname, &release);
        return sysname != nullptr && std::string(sysname) == "Darwin" ? 1 : 0;
    }
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    auto rtlGetVersion = reinterpret_cast<GetVersion>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    if (rtlGetVersion == nullptr) return 100;
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;  // 284 bytes
    if (rtlGetVersion(&info) != 0) return 100;
    return OsCodeForWindowsVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                                   info.wProductType != VER_NT_WORKSTATION);
}

}  // namespace

int GetOsCode() {
    static const int code = ComputeOsCode();
    return code;
}

bool RunsUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace HY_OS
