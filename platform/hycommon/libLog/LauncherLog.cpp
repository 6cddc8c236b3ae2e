#include "LauncherLog.h"

#include <memory>

#include "HYLogFileReactor.h"
#include "LogMessage.h"
#include "LogRegistry.h"

namespace HYLog {

int StartLauncherLog(const std::string& path) {
    auto reactor = std::make_shared<HYLogFileReactor>(
        kLauncherReactorName, LL_All, 5000, std::make_unique<HYLogFileIoA>(path, true, 50000));
    LogRegistry& registry = LogRegistry::Instance();
    if (registry.RegisterReactor(reactor) != 0) return 1;
    registry.SetReactorOption(kLauncherReactorName, 2);
    SetGlobalLevel(LL_All);
    return 0;
}

void StopLogging() { LogRegistry::Instance().ShutdownAll(); }

}  // namespace HYLog
