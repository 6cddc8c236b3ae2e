// Checks that a file given a WAD type can be updated element by element, and reads what its
// file-list record needs: the size and CRC of its header and entry table.
#pragma once

#include <cstdint>
#include <string>

namespace larkpublish {

struct WadHeaderFacts {
    uint32_t headerSize = 0;  // header and entry table
    uint32_t headerCrc = 0;
    uint32_t elementCount = 0;
};

// False, with the reason, when `path` is not a WAD archive, holds no element (an update of it
// could never complete), or does not follow the layout rule the update engines rely on (stored
// bytes back to back after the entry table, in ascending name order, up to the end of the file).
bool InspectWadArchive(const std::string& path, WadHeaderFacts& facts, std::string& error);

}  // namespace larkpublish
