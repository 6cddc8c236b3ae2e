// The configuration file loader on arbitrary bytes: it answers loaded or not, never more.
#include <fstream>
#include <iterator>
#include <string>

#include "FuzzTarget.h"
#include "PatchClientConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = FuzzScratchFile("PatchConfig.xml", data, size);
    PatchClientConfig config;
    config.LoadFile(path);
    return 0;
}

std::vector<std::string> HyFuzzSeeds() {
    std::ifstream in(SAMPLE_PATCH_CONFIG, std::ios::binary);
    return {std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>())};
}
