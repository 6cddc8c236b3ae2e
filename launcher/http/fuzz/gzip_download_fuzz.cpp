// The compressed-download engine's unpacking of a downloaded ".gz" file. Input: one byte giving
// the size the file list promises (0: none, else that many 4 KiB blocks), then the download.
#include <cstdlib>
#include <string>

#include "ComprDownloadEngine.h"
#include "FuzzTarget.h"
#include "OsFile.h"
#include "http_test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    uint32_t limit = data[0] * 4096u;
    std::string source = FuzzScratchFile("download.gz", data + 1, size - 1);
    std::string target = FuzzScratchPath("download.tmp");
    int64_t length = -1;
    if (ComprDownloadEngine::DecompressFile(source, target, limit, length)) {
        // What was kept on disk never passes the promised size by more than one unpack block.
        int64_t written = HY_OS::FileLength(target);
        if (written < 0 || (limit != 0 && written > static_cast<int64_t>(limit))) std::abort();
    }
    return 0;
}

std::vector<std::string> HyFuzzSeeds() {
    std::string content = RandomBytes(3000, 7) + std::string(5000, 'z');
    return {std::string(1, '\2') + Gzip(content), std::string(1, '\0') + Gzip("")};
}
