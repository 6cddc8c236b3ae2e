#include "WadElement.h"

#include <cerrno>
#include <climits>

#include "LogMessage.h"
#include "WadSource.h"

namespace {

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

bool WadElement::LoadEntry(WadSource& source, int version) {
    if (version <= 0) {
        HY_LOG(LL_Error, kWadElementCategory, "WadElement::LoadEntry",
               "Unsupported WadElement version (%d)", version);
        return false;
    }
    uint8_t fixed[kEntryFixedSize];
    if (source.Read(fixed, sizeof fixed) != static_cast<int64_t>(sizeof fixed)) {
        HY_LOG(LL_Error, kWadElementCategory, "WadElement::LoadEntry",
               "Failed loading WadElement entry header from file");
        return false;
    }
    uint32_t nameLength = ReadU32(fixed + 17);
    if (nameLength < 1 || nameLength > kMaxNameLength) {
        HY_LOG(LL_Error, kWadElementCategory, "WadElement::LoadEntry",
               "Bad WadElement file name length");
        return false;
    }
    char name[kMaxNameLength];
    if (source.Read(name, nameLength) != static_cast<int64_t>(nameLength) ||
        name[nameLength - 1] != '\0') {
        HY_LOG(LL_Error, kWadElementCategory, "WadElement::LoadEntry", "Bad WadElement file name");
        return false;
    }
    m_name.assign(name, nameLength - 1);
    // A NUL inside the name ends it, as a C string would.
    m_name.resize(m_name.find('\0') == std::string::npos ? m_name.size() : m_name.find('\0'));
    m_dataPosition = ReadU32(fixed);
    m_size = ReadU32(fixed + 4);
    m_compressed = fixed[12] != 0;
    m_packedSize = m_compressed ? ReadU32(fixed + 8) : m_size;
    m_crc = ReadU32(fixed + 13);
    m_state = ES_EntryLoaded;
    return true;
}

bool WadElement::ReadPackedData(WadSource& source, std::string& out) const {
    if (m_state != ES_EntryLoaded) {
        HY_LOG(LL_Error, kWadElementCategory, "WadElement::ReadPackedData",
               "Failed reading raw element data. Bad state (%d).", static_cast<int>(m_state));
        return false;
    }
    int position = static_cast<int>(m_dataPosition);
    int size = static_cast<int>(m_size);
    int packed = static_cast<int>(m_packedSize);
    if (position < 0 || size < 0 || packed < 0) {
        HY_LOG(LL_Error, kWadElementCategory, "WadElement::ReadPackedData",
               "Failed reading raw element data. Bad position (%d), size (%d), or packed size (%d)",
               position, size, packed);
        return false;
    }
    if (!source.Seek(position)) {
        HY_LOG(LL_Error, kWadElementCategory, "WadElement::ReadPackedData",
               "Failed reading raw element data. Unable to set file position to %d.", position);
        return false;
    }
    // The announced size is checked against the file before any buffer is made.
    int64_t length = source.Length();
    if (length < 0 || int64_t{position} + packed > length) {
        int64_t available = length > position ? length - position : 0;
        HY_LOG(LL_Error, kWadElementCategory, "WadElement::ReadPackedData",
               "Failed reading raw element data. Position:%d Size:%d BytesRead:%u LastError:%u",
               position, packed, static_cast<unsigned>(available), 0u);
        return false;
    }
    std::string buffer(static_cast<size_t>(packed), '\0');
    int64_t got = packed > 0 ? source.Read(buffer.data(), buffer.size()) : 0;
    if (got != packed) {
        HY_LOG(LL_Error, kWadElementCategory, "WadElement::ReadPackedData",
               "Failed reading raw element data. Position:%d Size:%d BytesRead:%u LastError:%u",
               position, packed, static_cast<unsigned>(got < 0 ? 0 : got),
               static_cast<unsigned>(errno));
        return false;
    }
    out = std::move(buffer);
    return true;
}
