// The thread registry the crash handler reads. The Windows build has no crash handler yet (its
// structured-exception half is still to be written), so threads are not recorded here.
#include "OsCrash.h"

namespace HY_OS {

bool RegisterCrashThread(const char*) { return false; }
void UnregisterCrashThread() {}
void SetCrashThreadName(const char*) {}
int RegisteredCrashThreadCount() { return 0; }

}  // namespace HY_OS
