// The local package list file ("LocalPackagesList.txt") as the batch patcher reads it for the
// patch client: every line's package is catalogued, the priority-1 ones queued. Whatever the
// bytes, every catalogued name is a whole line's rest: not empty, without CR or LF.
#include <cstdlib>
#include <memory>
#include <string>

#include "BatchPatcher.h"
#include "FuzzTarget.h"
#include "OsFile.h"

namespace {

// Names seen in the input: every line, with and without its marker.
bool NameIsSane(const std::string& name) {
    return !name.empty() && name.find_first_of("\r\n") == std::string::npos;
}

void LoadOnce(const std::string& path, const std::string& text) {
    BatchPatcher batch;
    if (!batch.LoadPackagesFromFile(path, false, true, 1)) std::abort();
    size_t catalogued = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        line.resize(std::min(line.find('\r'), line.size()));
        std::string name = line.size() >= 5 && line[3] == ' ' ? line.substr(4) : line;
        if (name.empty()) continue;
        const PatchPackage* package = batch.FindPackage(name);
        if (!package || !NameIsSane(package->name)) std::abort();
        ++catalogued;
    }
    // Every queued package is a catalogued one.
    if (batch.QueuedCount() > catalogued) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string path = FuzzScratchFile("LocalPackagesList.txt", data, size);
    // The batch patcher lives on the program's main thread (adopted as the worker thread "Main"),
    // as in the launcher. One thread for every input: starting a thread per input cost more than
    // the input itself.
    LoadOnce(path, text);
    return 0;
}

std::vector<std::string> HyFuzzSeeds() {
    return {"LOW Extras\nHIG Maps\r\nSound\nABCD\nLxx y\n\n", "Base\nPatchClient\n"};
}
