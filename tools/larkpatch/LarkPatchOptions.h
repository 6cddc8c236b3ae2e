// The command line of larkpatch:
//
//   larkpatch --server HOST:PORT --install DIR --package NAME[,NAME...] [--cache DIR] [--data DIR]
//             [--locale LOCALE] [--log FILE]
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LarkPatchOptions {
    std::string host;
    uint16_t port = 0;
    std::string install;               // always ends with a slash
    std::vector<std::string> packages;
    std::string cache;                 // default: <install>PatchInfo/, as the launcher's game patch
    std::string data = "./";           // the message modules, as the launcher's default data directory
    std::string locale = "English";
    std::string log = "LarkPatch.Log.txt";
    bool help = false;
};

// Exit codes besides the patch failure codes (1 to 19).
enum LarkPatchExit : int {
    LPE_Success = 0,
    LPE_Usage = 64,   // bad command line
    LPE_Setup = 65,   // the log, the message modules or the folders could not be set up
};

// Reads the arguments (without the program name). False with the reason in `error`.
bool ParseLarkPatchOptions(const std::vector<std::string>& args, LarkPatchOptions& options, std::string& error);

// The text of --help.
const char* LarkPatchUsage();
