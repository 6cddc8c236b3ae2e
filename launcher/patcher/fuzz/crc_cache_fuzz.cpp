// A package's CRC cache file as found on disk: loaded, searched, confirmed, fed and saved as a
// patch run does, and read back: what a run saves is exactly the entries it used.
#include <cstdlib>
#include <string>
#include <vector>

#include "CrcCache.h"
#include "FuzzTarget.h"
#include "OsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = FuzzScratchFile("CRC_Base.dat", data, size);
    std::string directory = HY_OS::DirectoryPart(path);
    CrcCache cache;
    cache.LoadCacheFile("Base", directory);
    const size_t loaded = cache.Remaining();
    if (size % CrcCache::kEntryBytes != 0 ? loaded != 0 : loaded != size / CrcCache::kEntryBytes) std::abort();
    // Confirm every other entry that can be found again by its own words, as a run that finds
    // half its files unchanged would.
    std::vector<CrcCacheEntry> words;
    for (size_t i = 0; i < loaded; ++i) words.push_back(cache.At(i));
    for (size_t i = 0; i < loaded; i += 2) {
        long found = cache.FindEntry(words[i].nameHash, words[i].size, words[i].crc);
        if (found < 0) continue;  // a duplicate confirmed before
        if (static_cast<size_t>(found) < cache.Used() || static_cast<size_t>(found) >= cache.Used() + cache.Remaining())
            std::abort();
        cache.ConfirmEntry(found);
    }
    const size_t confirmed = cache.Used();
    if (confirmed + cache.Remaining() != loaded) std::abort();
    cache.AddEntry(0xCA6598D0, 3, 0x12345678, 1700000000000);
    cache.DropUnconfirmed();
    if (!cache.SaveCacheFile("Base", directory)) return 0;
    CrcCache again;
    again.LoadCacheFile("Base", directory);
    if (again.Remaining() != confirmed + 1) std::abort();
    for (size_t i = 0; i < again.Remaining(); ++i) {
        const CrcCacheEntry& a = again.At(i);
        const CrcCacheEntry& b = cache.At(i);
        if (a.nameHash != b.nameHash || a.size != b.size || a.crc != b.crc || a.lastWriteMs != b.lastWriteMs)
            std::abort();
    }
    return 0;
}

std::vector<std::string> HyFuzzSeeds() {
    std::string directory = HY_OS::DirectoryPart(FuzzScratchPath("seed"));
    CrcCache cache;
    cache.AddEntry(0xCA6598D0, 3000, 0x12345678, 1700000000000);
    cache.AddEntry(0x2DFD2D88, 777, 0x0badf00d, 1700000000123);
    cache.AddEntry(0x11111111, 0, 0, 0);
    cache.SaveCacheFile("Seed", directory);
    std::string bytes;
    HY_OS::ReadWholeFile(CrcCache::CacheFilePath("Seed", directory), bytes);
    return {bytes};
}
