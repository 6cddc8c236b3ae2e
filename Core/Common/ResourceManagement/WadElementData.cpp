#include "WadElementData.h"

#include <zlib.h>

#include "Crc.h"
#include "WadElement.h"

bool InflateElement(const std::string& stored, uint32_t size, std::string& out) {
    if (size > kMaxElementSize || size > (stored.size() + 64) * kMaxDeflateRatio) return false;
    std::string buffer(size, '\0');
    uLongf length = size;
    uLong sourceLength = static_cast<uLong>(stored.size());
    int result = uncompress2(reinterpret_cast<Bytef*>(buffer.data()), &length,
                             reinterpret_cast<const Bytef*>(stored.data()), &sourceLength);
    if (result != Z_OK || length != size) return false;
    out = std::move(buffer);
    return true;
}

ElementDataResult ReadElementData(const WadElement& element, WadSource& source, std::string& out) {
    std::string stored;
    if (!element.ReadPackedData(source, stored)) return ED_Unreadable;
    bool crcMatches = CrcUpdate(0, stored.data(), stored.size()) == element.Crc();
    if (element.IsCompressed()) {
        if (!InflateElement(stored, element.Size(), out))
            return crcMatches ? ED_NotInflatable : ED_Corrupt;
    } else {
        out = std::move(stored);
    }
    return crcMatches ? ED_Ok : ED_BadCrc;
}
