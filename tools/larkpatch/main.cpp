// larkpatch: patches packages of an installation as the launcher's game patch does
// (LarkPatchOptions.h has the command line, LarkPatch.h the run).
#include <csignal>
#include <iostream>

#include "LarkPatch.h"

namespace {
std::atomic<bool> g_stop{false};
void OnStopSignal(int) { g_stop.store(true); }
}  // namespace

int main(int argc, char** argv) {
    LarkPatchOptions options;
    std::string error;
    if (!ParseLarkPatchOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::cerr << "larkpatch: " << error << "\n" << LarkPatchUsage();
        return LPE_Usage;
    }
    if (options.help) {
        std::cout << LarkPatchUsage();
        return LPE_Success;
    }
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    return RunLarkPatch(options, std::cout, std::cerr, g_stop);
}
