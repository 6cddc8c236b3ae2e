// A WAD archive opened and every element read through the guarded element reader, with a ".utd"
// file beside it. Input: one byte n, then 16·(n mod 8) bytes of ".utd" records (as many as there
// are), then the archive.
#include <cstdlib>
#include <string>

#include "FuzzTarget.h"
#include "WadElementData.h"
#include "WadFile.h"
#include "WadSource.h"
#include "WadWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    size_t utdLength = std::min<size_t>(16 * (data[0] % 8), size - 1);
    std::string utdPath = FuzzScratchFile("fuzz.wad.utd", data + 1, utdLength);
    if (utdLength == 0) std::remove(utdPath.c_str());  // no marks at all: every element is real
    std::string archive(reinterpret_cast<const char*>(data) + 1 + utdLength, size - 1 - utdLength);

    WadFile wad(utdPath.substr(0, utdPath.size() - 4));
    WadMemorySource source(archive);
    if (!wad.LoadWadHeader(source)) return 0;
    // Each entry takes at least 22 bytes of the archive.
    if (wad.ElementCount() > archive.size() / 22) std::abort();
    for (const auto& [name, element] : wad.Elements()) {
        if (element.IsStale()) continue;
        std::string contents;
        ReadElementData(element, source, contents);
    }
    return 0;
}

std::vector<std::string> HyFuzzSeeds() {
    WadWriter writer;
    writer.Add("BaseMessages.xml", std::string(600, 'x') + "<table/>", true);
    writer.Add("Raw.bin", std::string("\x01\x02\x03\x04", 4), false);
    writer.Add("a", "A", false);
    std::string v1, v2;
    writer.Build(v1, 1);
    writer.Build(v2, 2, 3);
    // The second seed carries one ".utd" record (unused word, position, packed size, CRC).
    std::string marks(16, '\0');
    return {std::string(1, '\0') + v1, std::string(1, '\1') + marks + v2};
}
