#include "PatcherTypes.h"

const char* PatchFailureName(int failure) {
    switch (failure) {
        case PF_None: return "PF_None";
        case PF_ConnectFailed: return "PF_ConnectFailed";
        case PF_ServerTimeout: return "PF_ServerTimeout";
        case PF_ConnectionLost: return "PF_ConnectionLost";
        case PF_DownloadStartFailed: return "PF_DownloadStartFailed";
        case PF_FileDownloadFailed: return "PF_FileDownloadFailed";
        case PF_UnknownPackage: return "PF_UnknownPackage";
        case PF_ListHostNotFound: return "PF_ListHostNotFound";
        case PF_ListRequestFailed: return "PF_ListRequestFailed";
        case PF_ListTransferFailed: return "PF_ListTransferFailed";
        case PF_ListVerifyFailed: return "PF_ListVerifyFailed";
        case PF_ListUnreadable: return "PF_ListUnreadable";
        case PF_DiskFull: return "PF_DiskFull";
        case PF_FileLocked: return "PF_FileLocked";
        case PF_LocaleUnsupported: return "PF_LocaleUnsupported";
        default: return "PF_Unknown";
    }
}
