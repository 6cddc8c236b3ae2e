#include "PatchClientTypes.h"

#include <cerrno>

namespace {

constexpr const char* kStateNames[ST_Count] = {
    "ST_Initial",    "ST_Ready",        "ST_VerifyingUser", "ST_LeadCopying",
    "ST_LeadPatching", "ST_GamePatching", "ST_Completed",    "ST_UserStopping",
    "ST_LaunchingNewPatchClient",
};

constexpr const char* kEventNames[ET_Count] = {
    "ET_Start",         "ET_UserVerified", "ET_LeadCopied",  "ET_LeadChanged",
    "ET_LeadUnchanged", "ET_GamePatched",  "ET_UserStopped", "ET_ErrorStopped",
};

constexpr unsigned Bit(int event) { return 1u << event; }

// The events each state expects, one bit per event.
constexpr unsigned kAllowed[ST_Count] = {
    0,                                                                            // ST_Initial
    Bit(ET_Start) | Bit(ET_UserStopped) | Bit(ET_ErrorStopped),                    // ST_Ready
    Bit(ET_UserVerified) | Bit(ET_UserStopped) | Bit(ET_ErrorStopped),             // ST_VerifyingUser
    Bit(ET_LeadCopied) | Bit(ET_UserStopped) | Bit(ET_ErrorStopped),               // ST_LeadCopying
    Bit(ET_LeadChanged) | Bit(ET_LeadUnchanged) | Bit(ET_UserStopped) | Bit(ET_ErrorStopped),
    Bit(ET_GamePatched) | Bit(ET_UserStopped) | Bit(ET_ErrorStopped),              // ST_GamePatching
    0,                                                                            // ST_Completed
    Bit(ET_UserStopped),                                                          // ST_UserStopping
    0,                                                                            // ST_LaunchingNewPatchClient
};

}  // namespace

const char* StateName(int state) {
    return state >= 0 && state < ST_Count ? kStateNames[state] : nullptr;
}

const char* EventName(int event) {
    return event >= 0 && event < ET_Count ? kEventNames[event] : nullptr;
}

bool EventAllowed(int state, int event) {
    if (state < 0 || state >= ST_Count || event < 0 || event >= ET_Count) return false;
    return (kAllowed[state] & Bit(event)) != 0;
}

int LoginResultErrorCode(int result) {
    switch (result) {
        case 1: return 143;
        case 2: return 144;
        case 3: return 145;
        case 4: return 146;
        case 5: return 108;
        case 6: return 109;
        case 7: return 129;
        case 8: return 110;
        case 9: return 111;
        case 10: return 130;
        case 11: return 131;
        case 12: return 133;
        case 13: return 134;
        case 15: return 136;
        case 16: return 137;
        case 17: return -1;
        case 18: return 142;
        case 19: return 149;
        default: return PCE_UnknownLoginResult;
    }
}

int PatchFailureErrorCode(int failure) {
    switch (failure) {
        case 1: return 119;   // PF_ConnectFailed
        case 2: return 120;   // PF_ServerTimeout
        case 3: return 121;   // PF_ConnectionLost
        case 8: return 122;   // PF_DownloadStartFailed
        case 9: return 123;   // PF_FileDownloadFailed
        case 11: return 125;  // PF_UnknownPackage
        case 12: return 138;  // PF_ListHostNotFound
        case 13: return 139;  // PF_ListRequestFailed
        case 14: return 140;  // PF_ListTransferFailed
        case 15: return 141;  // PF_ListVerifyFailed
        case 16: return 127;  // PF_ListUnreadable
        case 17: return 112;  // PF_DiskFull
        case 18: return 115;  // PF_FileLocked
        case 19: return 135;  // PF_LocaleUnsupported
        default: return PCE_UnknownPatchFailure;
    }
}

uint32_t SystemErrorFromErrno(int error) {
    switch (error) {
        case 0: return SE_None;
        case EACCES:
        case EPERM:
        case EROFS: return SE_AccessDenied;
        case ENOSPC:
#ifdef EDQUOT  // not every C library has a disk quota error
        case EDQUOT:
#endif
        case EFBIG: return SE_DiskFull;
        case ENOMEM: return SE_NotEnoughMemory;
        case ETXTBSY:
        case EBUSY: return SE_SharingViolation;
        case ENOENT: return SE_FileNotFound;
        case ENOTDIR: return SE_PathNotFound;
        // Anything else cannot be told apart further: the copy itself failed.
        default: return SE_CannotCopy;
    }
}

int LeadCopyErrorCode(uint32_t systemError, const char** line) {
    switch (systemError) {
        case SE_AccessDenied:
            *line = "Fail to lead copy: ERROR_ACCESS_DENIED";
            return PCE_LeadCopyAccessDenied;
        case SE_NotEnoughMemory:
        case SE_OutOfMemory:
        case SE_HandleDiskFull:
        case SE_DiskFull:
        case SE_StorageFull:
            *line = "Fail to lead copy: ERROR_OUTOFMEMORY/DISK.";
            return PCE_DiskFull;
        case SE_SharingViolation:
            *line = "Fail to lead copy: ERROR_SHARING_VIOLATION.";
            return PCE_FileLocked;
        case SE_CannotCopy:
            *line = "Fail to lead copy: ERROR_CANNOT_COPY.";
            return PCE_LeadCopyCannotCopy;
        default:
            *line = "Fail to lead copy: Code %ul.";
            return PCE_LeadCopyOther;
    }
}
