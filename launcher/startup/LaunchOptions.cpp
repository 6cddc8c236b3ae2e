#include "LaunchOptions.h"

#include "GetArg.h"

int ParseLaunchOptionsTo(std::FILE* errors, int argc, char** argv, LaunchOptions& options) {
    const char* passKey = "";
    const char* jSessionId = "";
    const char* userName = "";
    const ArgOption table[] = {
        {'r', OT_Bool, &options.runFlag, " "},
        {'u', OT_U64, &options.userId, " "},
        {'p', OT_CString, &passKey, " "},
        {'j', OT_CString, &jSessionId, " "},
        {'1', OT_Bool, &options.noRestartAfterLeadPatch, " "},
        {'2', OT_Bool, &options.restartAfterLogin, " "},
        {'3', OT_Bool, &options.forceDownload, " "},
        {'s', OT_Bool, &options.paidAccount, " "},
        {'n', OT_CString, &userName, " "},
    };
    int result = getargTo(errors, argc, argv, table,
                          static_cast<int>(sizeof table / sizeof table[0]), false);
    options.passKey = passKey;
    options.jSessionId = jSessionId;
    options.userName = userName;
    return result;
}

LaunchOptions ParseLaunchOptions(int argc, char** argv) {
    LaunchOptions options;
    // The launcher goes on with whatever was parsed before an unknown letter.
    ParseLaunchOptionsTo(stderr, argc, argv, options);
    return options;
}
