#include "WadInspection.h"

#include "Crc.h"
#include "OsFile.h"
#include "WadFile.h"
#include "WadSource.h"

namespace larkpublish {

bool InspectWadArchive(const std::string& path, WadHeaderFacts& facts, std::string& error) {
    HY_OS::File file = HY_OS::File::Open(path, HY_OS::FileMode::Read);
    if (!file.IsOpen()) {
        error = "cannot open " + path;
        return false;
    }
    WadFile wad(path);
    WadFileSource source(file);
    if (!wad.LoadWadHeader(source)) {
        error = path + " is not a WAD archive";
        return false;
    }
    if (wad.ElementCount() == 0) {
        error = path + " is a WAD archive without elements; give it the type plain";
        return false;
    }
    // std::map orders the names byte-wise as unsigned values, the order of the layout rule.
    int64_t expected = wad.TableEnd();
    for (const auto& [name, element] : wad.Elements()) {
        if (element.DataPosition() != expected) {
            error = path + " does not follow the WAD layout rule at element " + name +
                    "; pack it again with larkwad";
            return false;
        }
        expected += element.PackedSize();
    }
    if (expected != file.Length()) {
        error = path + " does not end where its last element ends; pack it again with larkwad";
        return false;
    }
    std::string header(static_cast<size_t>(wad.TableEnd()), '\0');
    if (file.ReadAt(header.data(), header.size(), 0) != static_cast<int64_t>(header.size())) {
        error = "cannot read the header of " + path;
        return false;
    }
    facts.headerSize = static_cast<uint32_t>(header.size());
    facts.headerCrc = CrcUpdate(0, header.data(), header.size());
    facts.elementCount = static_cast<uint32_t>(wad.ElementCount());
    return true;
}

}  // namespace larkpublish
