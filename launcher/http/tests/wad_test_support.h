// Building WAD archives for the update tests: an archive from named elements, its compressed
// header file, and the values a file list carries for it.
#pragma once

#include <map>
#include <string>

#include "WadTool.h"

struct PublishedWad {
    std::string archive;     // the archive's bytes
    std::string headerGz;    // "<archive>.hdr.gz"
    larkwad::HeaderInfo info;
};

// Builds the archive of `elements` (raw, or all compressed) in `workDir` and its header file.
PublishedWad PublishWad(const std::map<std::string, std::string>& elements, const std::string& workDir,
                        bool compress = false);

// Data position and packed size of an element of an archive.
struct ElementPlace {
    uint32_t position = 0;
    uint32_t packedSize = 0;
};
ElementPlace PlaceOf(const PublishedWad& wad, const std::string& name, const std::string& workDir);
