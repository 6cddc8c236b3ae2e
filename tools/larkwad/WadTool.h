// The operations of the larkwad tool: packing a directory into a WAD archive that follows the
// layout rule, listing, extracting and checking an archive, and writing the gzip-compressed
// header-and-entry-table file "<archive>.hdr.gz" that archive updates fetch.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace larkwad {

enum CompressMode {
    CM_Raw,        // every element stored raw
    CM_Compress,   // every element zlib-compressed
    CM_WhenSmaller // compressed where that makes it smaller
};

// Packs every regular file below `directory` (names: relative paths with '/') into `archive`.
bool PackDirectory(const std::string& directory, const std::string& archive, CompressMode mode,
                   std::string& error);

struct ListedElement {
    std::string name;
    uint32_t size = 0;
    uint32_t packedSize = 0;
    bool compressed = false;
    uint32_t crc = 0;
    uint32_t dataPosition = 0;
};
bool ListArchive(const std::string& archive, std::vector<ListedElement>& elements, std::string& error);

// Checks every element's stored bytes against its CRC, and that a compressed one inflates to its
// recorded size; the names of the bad ones go to `bad`.
bool CheckArchive(const std::string& archive, std::vector<std::string>& bad, std::string& error);

// Writes every element, inflated, below `directory`. Every element is checked first: a name that
// would leave the directory (absolute, "..", empty parts), an element that cannot be read or
// inflated within the size caps, or one that fails its CRC refuses the whole archive, with the
// names in `error`, and nothing is written. With `force`, elements that fail only their CRC are
// written anyway and their names are added to `forced`.
bool ExtractArchive(const std::string& archive, const std::string& directory, std::string& error,
                    bool force = false, std::vector<std::string>* forced = nullptr);

// What a file list needs to describe an archive for the update engines.
struct HeaderInfo {
    uint32_t archiveSize = 0;
    uint32_t archiveCrc = 0;
    uint32_t headerSize = 0;          // header and entry table, unpacked
    uint32_t headerCrc = 0;
    uint32_t compressedHeaderSize = 0;
};
// Writes the header and entry table of `archive`, gzip-compressed, to `output` (by default
// "<archive>.hdr.gz").
bool WriteHeaderFile(const std::string& archive, const std::string& output, HeaderInfo& info,
                     std::string& error);

}  // namespace larkwad
