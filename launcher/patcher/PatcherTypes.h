// The patcher's states, the actions its transitions run, and the failures it reports upward.
#pragma once

#include <cstdint>

inline constexpr const char* kPatchCategory = "CORE_PATCH_SYS";

// The state of a run; the numbers appear in log lines.
enum PatcherState : int {
    PS_Initial = 0,
    PS_Stopped = 1,
    PS_Starting = 2,
    PS_Started = 3,
    PS_Connecting = 4,
    PS_AwaitingFileList = 6,
    PS_ListFileQueued = 8,
    PS_DownloadingListFile = 9,
    PS_ListFileCurrent = 10,
    PS_DownloadingFiles = 11,
    PS_Stopping = 12,
};

// What a transition runs before its new state is set.
enum PatcherAction : int {
    ACT_StartPatcher = 1,
    ACT_ConnectPatchServer = 2,
    ACT_DisconnectPatchServer = 3,
    ACT_SendLatestFileList = 5,
    ACT_DownloadFiles = 6,
    ACT_DownloadPackageFiles = 7,
    ACT_StopPatcher = 8,
    ACT_PatcherStopped = 9,
};

// Why a run failed, as the owner is told.
enum PatchFailure : int {
    PF_None = 0,
    PF_ConnectFailed = 1,
    PF_ServerTimeout = 2,
    PF_ConnectionLost = 3,
    PF_DownloadStartFailed = 8,
    PF_FileDownloadFailed = 9,
    PF_UnknownPackage = 11,
    PF_ListHostNotFound = 12,
    PF_ListRequestFailed = 13,
    PF_ListTransferFailed = 14,
    PF_ListVerifyFailed = 15,
    PF_ListUnreadable = 16,
    PF_DiskFull = 17,
    PF_FileLocked = 18,
    PF_LocaleUnsupported = 19,
};

// The name of a failure code, for tools and reports ("PF_DiskFull"); "PF_Unknown" otherwise.
const char* PatchFailureName(int failure);
