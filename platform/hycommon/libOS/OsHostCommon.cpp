// The parts of the host seam that are the same on every platform: the host name's override and
// the operating-system codes of the Windows versions (here, so that both builds test them).
#include "OsEnv.h"
#include "OsHost.h"

namespace HY_OS {

std::string GetHostName() {
    std::string name;
    if (GetEnv("HY_HOSTNAME", name)) return name;
    GetSystemHostName(name);
    return name;
}

int OsCodeForWindowsVersion(unsigned platform, unsigned major, unsigned minor, bool server) {
    switch (platform) {
        case 2:  // the NT family
            if (major == 10) return minor == 0 ? 113 : 114;
            if (major == 6) {
                if (server) return 109;
                switch (minor) {
                    case 0: return 108;
                    case 1: return 110;
                    case 2: return 111;
                    case 3: return 112;
                    default: return 114;
                }
            }
            if (major == 5) return minor == 0 ? 105 : minor == 1 ? 106 : 107;
            if (major <= 4) return 104;
            return 114;
        case 1:  // Windows 95, 98 and ME
            if (major == 4) return minor == 0 ? 101 : minor == 90 ? 103 : 102;
            return major > 4 ? 103 : 100;
        case 0: return 100;
        default: return 114;
    }
}

}  // namespace HY_OS
