// HY_OS: the platform seam. Every call the launcher makes to the operating system goes through
// these headers; the implementation for this platform is chosen by CMake (posix/ here).
#pragma once

#include "OsCrash.h"
#include "OsDownload.h"
#include "OsEnv.h"
#include "OsFile.h"
#include "OsFileInfo.h"
#include "OsHost.h"
#include "OsHttp.h"
#include "OsIniFile.h"
#include "OsLibrary.h"
#include "OsMemoryMap.h"
#include "OsMiniDump.h"
#include "OsNamedEvent.h"
#include "OsProcess.h"
#include "OsStack.h"
#include "OsSync.h"
#include "OsSysCalls.h"
#include "OsThread.h"
#include "OsTime.h"
