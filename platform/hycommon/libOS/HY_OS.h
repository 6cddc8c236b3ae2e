// HY_OS: the platform seam. Every call the launcher makes to the operating system goes through
// these headers; the implementation for this platform is chosen by CMake (posix/ here).
#pragma once

#include "OsEnv.h"
#include "OsFile.h"
#include "OsHost.h"
#include "OsLibrary.h"
#include "OsSync.h"
#include "OsSysCalls.h"
#include "OsThread.h"
#include "OsTime.h"
