// The patch client's states, events and error-page codes, and the tables that turn login
// results, patcher failures and system errors into those codes.
#pragma once

#include <cstdint>

enum PatchClientState : int {
    ST_Initial = 0,
    ST_Ready = 1,
    ST_VerifyingUser = 2,
    ST_LeadCopying = 3,
    ST_LeadPatching = 4,
    ST_GamePatching = 5,
    ST_Completed = 6,
    ST_UserStopping = 7,
    ST_LaunchingNewPatchClient = 8,  // never entered
    ST_Count = 9,
};

enum PatchClientEvent : int {
    ET_Start = 0,
    ET_UserVerified = 1,
    ET_LeadCopied = 2,
    ET_LeadChanged = 3,
    ET_LeadUnchanged = 4,
    ET_GamePatched = 5,
    ET_UserStopped = 6,
    ET_ErrorStopped = 7,
    ET_Count = 8,
};

// The error pages the window shows for a stopped run.
enum PatchClientError : int {
    PCE_MissingRunFlag = 100,
    PCE_InitializeFailed = 101,
    PCE_StartRefused = 102,
    PCE_RelaunchFailed = 103,
    PCE_AppStartFailed = 104,
    PCE_UnknownLoginResult = 106,
    PCE_EmptyNameOrPassword = 110,
    PCE_DiskFull = 112,
    PCE_LeadCopyAccessDenied = 113,
    PCE_LeadCopyCannotCopy = 114,
    PCE_FileLocked = 115,
    PCE_LeadCopyOther = 116,
    PCE_LeadPatchNotStarted = 117,
    PCE_GamePatchNotStarted = 118,
    PCE_UnknownPatchFailure = 128,
    PCE_FreeToPlayCapped = 132,
    PCE_ValidateNotStarted = 147,
    PCE_AuthenticateNotStarted = 148,
    PCE_UnsupportedOS = 150,
};

// The Windows system error numbers the copy reports, whatever system it runs on.
enum SystemError : uint32_t {
    SE_None = 0,
    SE_FileNotFound = 2,
    SE_PathNotFound = 3,
    SE_AccessDenied = 5,
    SE_NotEnoughMemory = 8,
    SE_OutOfMemory = 14,
    SE_SharingViolation = 32,
    SE_HandleDiskFull = 39,
    SE_DiskFull = 112,
    SE_CannotCopy = 266,
    SE_StorageFull = 0x80030070u,
};

const char* StateName(int state);  // "ST_Ready"; nullptr outside the table
const char* EventName(int event);  // "ET_Start"; nullptr outside the table
// Whether the state expects the event (an unexpected event is still processed).
bool EventAllowed(int state, int event);

// The error page for a failed sign-in's result; -1 for a stopped sign-in (no event at all).
int LoginResultErrorCode(int result);
// The error page for a failed batch.
int PatchFailureErrorCode(int failure);
// The system error number for an errno value: access → 5, no space → 112, a busy file → 32, ...
uint32_t SystemErrorFromErrno(int error);
// The error page and the log line for a failed lead copy with the given system error; the line
// holds "%ul" for the code when `code` is none of the named ones.
int LeadCopyErrorCode(uint32_t systemError, const char** line);
