// The launcher puts the crash handler in place twice: during static initialisation and in the
// application object's constructor.
#include <gtest/gtest.h>

#include "HYCrashHandler.h"
#include "OsCrash.h"
#include "PatchClientUI.h"

namespace {

TEST(LauncherCrashHandler, InstalledAtStaticInitialisationAndAgainByTheApplicationObject) {
    EXPECT_TRUE(HYCrashHandler::IsInstalled());
    EXPECT_TRUE(HY_OS::CrashSignalsInstalled());
    HY_OS::UninstallCrashSignals();
    ASSERT_FALSE(HY_OS::CrashSignalsInstalled());
    CPatchClientUIApp app;
    EXPECT_TRUE(HY_OS::CrashSignalsInstalled());
    EXPECT_EQ(HYCrashHandler::Settings().reportProgram.substr(
                  HYCrashHandler::Settings().reportProgram.rfind('/') + 1),
              "FaultCourier");
}

}  // namespace
